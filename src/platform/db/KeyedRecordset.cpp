#include "KeyedRecordset.h"

#include "NumberText.h"

#include <algorithm>
#include <cctype>
#include <chrono>

namespace engine {

namespace {

// A page that could not be read is tried again after this long.
constexpr long long kRetryMs = 3000;

long long steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

void KeyedRecordset::startLoading(KeyLoader::KeysJob keysJob, KeyLoader::CountJob countJob,
                                  bool whole) {
    loader_ = std::make_unique<KeyLoader>(std::move(keysJob), std::move(countJob), keys_.list());
    if (!whole && !waitForFirstScreen_)
        return;
    loader_->waitUntil([this, whole] {
        return loader_->keysDone() || (!whole && keys_.size() >= KeyLoader::kFirstScreen);
    });
    if (whole && loader_->keysFailure().rc)
        failLoading(loader_->keysFailure());
}

bool KeyedRecordset::settleOpening(std::chrono::milliseconds limit) {
    if (settled_)
        return true;
    if (loader_ && !loader_->waitFor(
                       [this] {
                           return loader_->keysDone() || keys_.size() >= KeyLoader::kFirstScreen;
                       },
                       limit))
        return false;
    // The loader may have gone on past the first screen and met a fault
    // before this thread looked: a view with its first screen is still
    // shown, and the failure is kept for whoever needs every key.
    if (loader_ && loader_->keysDone() && loader_->keysFailure().rc &&
        keys_.size() < KeyLoader::kFirstScreen)
        failLoading(loader_->keysFailure());
    settled_ = true;
    pos_ = keys_.size() == 0 ? -1 : 0;
    return true;
}

EngineError KeyedRecordset::loadingError() const {
    return loadingFailure(loader_->keysFailure());
}

long KeyedRecordset::RecordCount() const {
    if (!loader_)
        return keys_.size();
    loader_->startCounting();
    loader_->waitUntil([this] {
        return loader_->keysDone() || (loader_->countDone() && !loader_->countFailure().rc);
    });
    if (loader_->keysDone() && !loader_->keysFailure().rc)
        return keys_.size();
    if (loader_->countDone() && !loader_->countFailure().rc)
        return loader_->count();
    failLoading(loader_->keysFailure());
}

bool KeyedRecordset::countKnown() const {
    if (!loader_)
        return true;
    loader_->startCounting();
    return loader_->keysDone() || (loader_->countDone() && !loader_->countFailure().rc);
}

bool KeyedRecordset::waitForCount(std::chrono::milliseconds limit) const {
    if (!loader_)
        return true;
    loader_->startCounting();
    return loader_->waitFor(
        [this] {
            return loader_->keysDone() || (loader_->countDone() && !loader_->countFailure().rc);
        },
        limit);
}

bool KeyedRecordset::waitForKeys(std::chrono::milliseconds limit) const {
    return !loader_ || loader_->waitFor([this] { return loader_->keysDone(); }, limit);
}

void KeyedRecordset::setOnChange(std::function<void()> onChange) {
    if (loader_)
        loader_->setOnChange(std::move(onChange));
}

long KeyedRecordset::knownRowCount() const {
    if (loader_ && !(loader_->keysDone() && !loader_->keysFailure().rc) && loader_->countDone() &&
        !loader_->countFailure().rc)
        return loader_->count();
    return keys_.size();
}

void KeyedRecordset::waitForKeys() const {
    if (!loader_)
        return;
    loader_->waitUntil([this] { return loader_->keysDone(); });
    if (loader_->keysFailure().rc)
        failLoading(loader_->keysFailure());
}

void KeyedRecordset::waitForIdle() const {
    waitForKeys();
    if (loader_)
        loader_->waitUntil([this] { return loader_->idle(); });
}

bool KeyedRecordset::readFailures() const {
    return readFailures_ || (loader_ && loader_->keysDone() && loader_->keysFailure().rc);
}

std::int64_t KeyedRecordset::keyAt(long index) const {
    if (index >= keys_.size())
        waitForKeys();
    if (index < 0 || index >= keys_.size())
        throw EngineError(err::NoCurrentRecord, "No current record.");
    return keys_.at(index);
}

std::vector<std::int64_t> KeyedRecordset::keys() const {
    waitForKeys();
    return keys_.toVector();
}

std::shared_ptr<const KeyList> KeyedRecordset::sharedKeys() const {
    if (loader_ && !loader_->keysDone())
        return nullptr;
    if (loader_ && loader_->keysFailure().rc)
        failLoading(loader_->keysFailure());
    return keys_.lend();
}

long KeyedRecordset::indexOfKey(std::int64_t key) const {
    waitForKeys();
    return keys_.indexOf(key);
}

long KeyedRecordset::findKey(std::int64_t key, long near) const {
    if (near >= 0 && near < keys_.size() && keys_.at(near) == key)
        return near;
    return keys_.indexOf(key);
}

void KeyedRecordset::updateRow(long index, const Changes& changes) {
    requireWritable();
    if (index < 0 || index >= RecordCount())
        throw EngineError(err::NoCurrentRecord, "No current record.");
    if (changes.empty())
        return;
    const std::string version = versionAt(index);
    const RowWrite w = writeRow(keys_.at(index), version, changes, index);
    if (w.outcome == RowWrite::Outcome::Deleted)
        throw EngineError(err::RowDeleted, goneText());
    if (w.outcome == RowWrite::Outcome::Conflict) {
        std::string both;
        for (const auto& [column, text] : changes)
            both += "\n" + fieldNames_.at(static_cast<std::size_t>(column)) + ": yours \"" + text +
                    "\", theirs \"" + w.theirs.at(static_cast<std::size_t>(column)).storedText() +
                    "\"";
        throw EngineError(err::WriteConflict, "Another user changed this row since you read it, "
                                              "so your change was not saved." +
                                                  both);
    }
}

void KeyedRecordset::requireCurrent() const {
    if (afterDelete_)
        throw EngineError(3167, "Record is deleted.");
    if (pos_ < 0 || pos_ >= RecordCount())
        throw EngineError(err::NoCurrentRecord, "No current record.");
}

void KeyedRecordset::requireWritable() const {
    if (readOnly_)
        throw EngineError(err::ReadOnly, "Cannot update. Database or object is read-only.");
}

void KeyedRecordset::setAbsolutePosition(long index) {
    if (index < 0 || (index >= knownRowCount() && index >= RecordCount()))
        throw EngineError(err::NoCurrentRecord, "No current record.");
    pos_ = index;
    afterDelete_ = false;
}

void KeyedRecordset::MoveFirst() {
    if (knownRowCount() == 0)
        throw EngineError(err::NoCurrentRecord, "No current record.");
    pos_ = 0;
    afterDelete_ = false;
}

void KeyedRecordset::MoveLast() {
    const long count = RecordCount();
    if (count == 0)
        throw EngineError(err::NoCurrentRecord, "No current record.");
    pos_ = count - 1;
    afterDelete_ = false;
}

void KeyedRecordset::MoveNext() {
    if (afterDelete_) {
        afterDelete_ = false; // the row after the deleted one already stands at pos_
        return;
    }
    if (IsEOF())
        throw EngineError(err::NoCurrentRecord, "No current record.");
    ++pos_;
}

void KeyedRecordset::MovePrevious() {
    afterDelete_ = false;
    if (IsBOF())
        throw EngineError(err::NoCurrentRecord, "No current record.");
    --pos_;
}

void KeyedRecordset::AddNew() {
    requireWritable();
    adding_ = true;
}

const Value& KeyedRecordset::Field(int column) {
    requireCurrent();
    return valueAt(pos_, column);
}

const Value& KeyedRecordset::valueAt(long index, int column) {
    const Row& r = rowAt(index);
    // A row may carry the back end's version after its fields: never a cell.
    if (column < 0 || column >= static_cast<int>(std::min(r.size(), fieldNames_.size())))
        throw EngineError(err::SubscriptOutOfRange, "Item not found in this collection.");
    return r[static_cast<size_t>(column)];
}

const KeyedRecordset::Row& KeyedRecordset::rowAt(long index) {
    if (index < 0)
        throw EngineError(err::NoCurrentRecord, "No current record.");
    const long page = index / kPageRows;
    if (index >= keys_.size() && loader_) {
        // Rows are painted as their keys come; this one's key is on its way.
        // No events are handled meanwhile: this may be a paint.
        loader_->waitUntil([&] { return loader_->keysDone() || keys_.size() > index; });
    }
    if (index >= keys_.size()) {
        if (loader_ && loader_->keysFailure().rc && index < knownRowCount())
            throw loadingError();
        throw EngineError(err::NoCurrentRecord, "No current record.");
    }
    auto it = pages_.find(page);
    if (it != pages_.end() &&
        ((it->second.failed && steadyMs() > it->second.retryAt) ||
         static_cast<std::size_t>(index - page * kPageRows) >= it->second.rows.size())) {
        // Read while its keys were still coming, or before a row was added
        // at its end: read again, whole.
        lru_.erase(it->second.lru);
        pages_.erase(it);
        it = pages_.end();
    }
    if (it == pages_.end()) {
        const bool loading = !keysComplete(); // asked first: the keys may finish meanwhile
        Page fresh = readPage(page);
        fresh.partial = loading && static_cast<long>(fresh.rows.size()) < kPageRows;
        keepPage(page, std::move(fresh));
        it = pages_.find(page);
    } else if (it->second.lru != lru_.begin()) {
        lru_.splice(lru_.begin(), lru_, it->second.lru);
    }
    const auto offset = static_cast<size_t>(index - page * kPageRows);
    if (it->second.unreadable[offset])
        throw it->second.error;
    return it->second.rows[offset];
}

void KeyedRecordset::keepPage(long page, Page&& fresh) {
    if (fresh.failed) {
        readFailures_ = true;
        fresh.retryAt = steadyMs() + kRetryMs;
    }
    auto it = pages_.emplace(page, std::move(fresh)).first;
    lru_.push_front(page);
    it->second.lru = lru_.begin();
    while (pages_.size() > kMaxPages) {
        pages_.erase(lru_.back());
        lru_.pop_back();
    }
}

std::vector<std::int64_t> KeyedRecordset::pageKeys(long page) const {
    const long first = page * kPageRows;
    const long last = std::min(keys_.size(), first + kPageRows);
    std::vector<std::int64_t> keys;
    keys.reserve(static_cast<std::size_t>(std::max(0L, last - first)));
    for (long i = first; i < last; ++i)
        keys.push_back(keys_.at(i));
    return keys;
}

bool KeyedRecordset::rowAtHand(long index) const {
    if (!readsAhead() || index < 0 || index >= keys_.size())
        return true; // read here as ever (a row still coming is the grid's to show)
    const long page = index / kPageRows;
    // A page at the end of the keys still coming is read here, whole later.
    if (!keysComplete() && (page + 1) * kPageRows > keys_.size())
        return true;
    const auto it = pages_.find(page);
    return it != pages_.end() && !(it->second.failed && steadyMs() > it->second.retryAt) &&
           static_cast<std::size_t>(index - page * kPageRows) < it->second.rows.size();
}

void KeyedRecordset::readAhead(long index, std::function<void()> ready) {
    if (rowAtHand(index))
        return;
    const long page = index / kPageRows;
    if (!asked_.insert(page).second)
        return;
    std::vector<std::int64_t> keys = pageKeys(page);
    if (!reader_)
        reader_ = std::make_unique<ReadAhead>();
    reader_->post([this, page, keys = std::move(keys), ready = std::move(ready)] {
        Page rows = readElsewhere(keys);
        {
            std::lock_guard<std::mutex> lock(readMutex_);
            read_.push_back({page, keys, std::move(rows)});
        }
        ready();
    });
}

std::vector<std::pair<long, long>> KeyedRecordset::takeRowsRead() {
    std::vector<PageRead> read;
    {
        std::lock_guard<std::mutex> lock(readMutex_);
        read.swap(read_);
    }
    std::vector<std::pair<long, long>> kept;
    for (auto& r : read) {
        asked_.erase(r.page);
        if (pages_.count(r.page) || r.keys.empty())
            continue; // read here meanwhile
        // Kept only where its rows still stand: rows added or removed since
        // moved them, and the page is asked for again when it is shown.
        const long first = r.page * kPageRows;
        const long end = first + static_cast<long>(r.keys.size());
        bool same = end == std::min(keys_.size(), first + kPageRows);
        for (long i = first; same && i < end; ++i)
            same = keys_.at(i) == r.keys[static_cast<std::size_t>(i - first)];
        if (!same)
            continue;
        placeRead(r.rows, r.keys);
        keepPage(r.page, std::move(r.rows));
        kept.emplace_back(first, end - 1);
    }
    return kept;
}

void KeyedRecordset::moveToFirstOf(const std::unordered_set<std::int64_t>& hits) {
    noMatch_ = true;
    if (hits.empty())
        return;
    waitForKeys();
    for (long i = 0; i < keys_.size(); ++i) {
        if (hits.count(keys_.at(i))) {
            pos_ = i;
            afterDelete_ = false;
            noMatch_ = false;
            return;
        }
    }
}

void KeyedRecordset::markUnreadable(Page& p, std::size_t i, bool wholePage, const EngineError& e) {
    p.error = e;
    p.failed = true;
    for (std::size_t j = i; j < (wholePage ? p.rows.size() : i + 1); ++j)
        p.unreadable[j] = true;
}

bool KeyedRecordset::rowReadable(long index) {
    try {
        rowAt(index);
        return true;
    } catch (const EngineError& e) {
        return e.number() == err::NoCurrentRecord;
    }
}

void KeyedRecordset::dropPage(long index) {
    auto it = pages_.find(index / kPageRows);
    if (it != pages_.end()) {
        lru_.erase(it->second.lru);
        pages_.erase(it);
    }
}

KeyedRecordset::Row* KeyedRecordset::cachedRow(long index) {
    if (index < 0)
        return nullptr;
    const auto it = pages_.find(index / kPageRows);
    if (it == pages_.end())
        return nullptr;
    const auto offset = static_cast<std::size_t>(index % kPageRows);
    if (offset >= it->second.rows.size() || it->second.unreadable[offset])
        return nullptr;
    return &it->second.rows[offset];
}

void KeyedRecordset::forEachCachedRow(long from,
                                      const std::function<void(long, const Row&)>& each) const {
    for (const auto& [page, p] : pages_)
        for (std::size_t i = 0; i < p.rows.size(); ++i) {
            const long index = page * kPageRows + static_cast<long>(i);
            if (index >= from && !p.unreadable[i])
                each(index, p.rows[i]);
        }
}

void KeyedRecordset::insertRow(long index, std::int64_t key) {
    keys_.insert(index, key);
    dropPagesFrom(index);
}

void KeyedRecordset::forgetRow(long index) {
    keys_.erase(index);
    dropPagesFrom(index);
}

void KeyedRecordset::dropPagesFrom(long index) {
    for (auto it = pages_.begin(); it != pages_.end();) {
        if (it->first >= index / kPageRows) {
            lru_.erase(it->second.lru);
            it = pages_.erase(it);
        } else {
            ++it;
        }
    }
}

Value KeyedRecordset::coerce(int column, const std::string& text) {
    const auto& cols = tableColumns();
    if (column < 0 || column >= static_cast<int>(cols.size()))
        throw EngineError(err::SubscriptOutOfRange, "Item not found in this collection.");
    const auto& col = cols[static_cast<size_t>(column)];
    if (col.key)
        throw EngineError(err::FieldNotUpdatable, "Field '" + col.name + "' cannot be updated.");
    std::size_t b = 0, e = text.size();
    while (b < e && std::isspace(static_cast<unsigned char>(text[b])))
        ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(text[e - 1])))
        --e;
    const std::string trimmed = text.substr(b, e - b);
    if (!col.numeric)
        return text.empty() ? Value() : Value::text(text);
    if (trimmed.empty())
        return {};
    double d = 0;
    const std::errc ec = parseNumber(trimmed, d);
    if (ec == std::errc())
        return Value::real(d);
    // A number too large or too small to hold is out of range, not "not a
    // number" (1e309, 1e-400, a number of 400 digits).
    if (ec == std::errc::result_out_of_range)
        throw EngineError(err::NumericOverflow, "Numeric field overflow: '" + text +
                                                    "' is out of the range that field '" +
                                                    col.name +
                                                    "' can hold (about 1e-307 to 1e308, and 0).");
    if (!col.textDefault.empty() && trimmed == col.textDefault)
        return Value::text(trimmed);
    throw EngineError(err::ConversionError, "Data type conversion error: '" + text +
                                                "' is not a number, as field '" + col.name +
                                                "' requires.");
}

} // namespace engine
