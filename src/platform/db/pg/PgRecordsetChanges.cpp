// A server record set following other users' changes (see PgRecordset.h):
// a changed row read again, a new or changed row placed in the set's order,
// a deleted one taken out, with the versions of rows read before a shift
// carried to their new places.
//
// What applying a batch asks the server (the rows read again, which keys
// the statement selects, the rows' places in the order) is read for the
// whole batch in three statements before it is applied (prepareChanges);
// a row's place among the set's keys is then found in a few statements of
// many probes each, never one statement per step of a search. Whatever the
// batch's reading did not answer is asked when needed, as before.
#include "PgRecordset.h"

#include "PgDatabase.h"

#include <algorithm>

namespace engine {

namespace {

// Keys whose places one statement of a search reads.
constexpr long kProbes = 256;

std::string keyArray(const std::vector<std::int64_t>& keys) {
    std::string list = "{";
    for (std::size_t i = 0; i < keys.size(); ++i)
        list += (i ? "," : "") + std::to_string(keys[i]);
    return list + "}";
}

} // namespace

void PgRecordset::carryVersions(long from) {
    // Every page from the one holding from is dropped: all its rows go.
    forEachCachedRow(from - from % kPageRows, [this](long at, const Row& row) {
        if (row.size() > fieldNames_.size())
            carried_.emplace(keys_.at(at), row.back());
    });
}

void PgRecordset::forgetDeleted(long index) {
    carryVersions(index);
    forgetRow(index);
    afterDelete_ = true;
}

void PgRecordset::removeKey(long index) {
    carryVersions(index);
    forgetRow(index);
    if (pos_ > index || pos_ >= keys_.size())
        --pos_;
}

bool PgRecordset::insertKey(std::int64_t key) {
    const long index = placeOf(key);
    if (index < 0)
        return false;
    carryVersions(index);
    insertRow(index, key);
    if (pos_ >= index)
        ++pos_;
    return true;
}

void PgRecordset::prepareChanges(const std::vector<ChangeFeed::Change>& changes) {
    prepared_ = {};
    if (changes.empty())
        return;
    try {
        PgConnection& conn = db_->connection();
        std::vector<std::int64_t> all, reread, placed;
        for (const auto& c : changes) {
            all.push_back(c.key);
            const long index = keys_.indexOf(c.key);
            if (c.kind == ChangeFeed::Kind::Changed && index >= 0 && cachedRow(index))
                reread.push_back(c.key);
            if (c.kind == ChangeFeed::Kind::Deleted)
                continue;
            placed.push_back(c.key);
            if (index >= 0) // a changed row's neighbours say whether it stays
                for (long at : {index - 1, index + 1})
                    if (at >= 0 && at < keys_.size())
                        placed.push_back(keys_.at(at));
        }
        if (!reread.empty()) {
            PgResult r = conn.exec(pageSql_, {keyArray(reread)});
            for (std::int64_t k : reread)
                prepared_.rows[k] = std::nullopt; // deleted meanwhile unless read
            for (int i = 0; i < r.rows(); ++i)
                prepared_.rows[r.integer(i, keyColumn_ + 1)] = rowOf(r, i, 1);
        }
        if (!keysComplete())
            return; // nothing is placed until the keys are all in
        PgResult r =
            conn.exec("SELECT q.\"ID\" FROM (" + keySql_ + ") q WHERE q.\"ID\" = ANY($1::bigint[])",
                      {keyArray(all)});
        prepared_.asked.insert(all.begin(), all.end());
        for (int i = 0; i < r.rows(); ++i)
            prepared_.selected.insert(r.integer(i, 0));
        if (orderKnown_)
            prepared_.places = readPlaces(placed);
    } catch (const EngineError&) {
        prepared_ = {}; // each change asks what it needs
    }
}

std::unordered_map<std::int64_t, PgRecordset::Place>
PgRecordset::readPlaces(const std::vector<std::int64_t>& keys) {
    std::unordered_map<std::int64_t, Place> out;
    if (keys.empty())
        return out;
    PgResult r =
        db_->connection().exec(sortValueSql("\"ID\" = ANY($1::bigint[])"), {keyArray(keys)});
    for (std::int64_t k : keys)
        out[k] = Place{true, true, {}, k}; // deleted since, unless read
    for (int i = 0; i < r.rows(); ++i) {
        const std::int64_t k = r.integer(i, 0);
        out[k] = r.isNull(i, 1) ? Place{false, true, {}, k} : Place{false, false, r.text(i, 1), k};
    }
    return out;
}

bool PgRecordset::selects(std::int64_t key) {
    if (prepared_.asked.count(key))
        return prepared_.selected.count(key) > 0;
    return db_->connection()
               .exec("SELECT 1 FROM (" + keySql_ + ") q WHERE \"ID\" = $1", {std::to_string(key)})
               .rows() > 0;
}

long PgRecordset::applyChange(ChangeFeed::Kind change, std::int64_t key) {
    PgConnection& conn = db_->connection();
    const long index = keys_.indexOf(key);
    if (change == ChangeFeed::Kind::Changed) {
        if (Row* row = index < 0 ? nullptr : cachedRow(index)) {
            // The other user's values are shown; the version stays the one
            // this user read, so that an edit begun before they came is
            // still checked against the other user's change.
            std::optional<Row> fresh;
            if (const auto it = prepared_.rows.find(key); it != prepared_.rows.end()) {
                fresh = it->second;
            } else {
                PgResult r = conn.exec("SELECT xmin, * FROM " + serverTable_ + " WHERE \"ID\" = $1",
                                       {std::to_string(key)});
                if (r.rows() == 1)
                    fresh = rowOf(r, 0, 1);
            }
            if (fresh) {
                if (row->size() > fieldNames_.size())
                    fresh->back() = row->back();
                *row = std::move(*fresh);
            }
        }
        if (!keysComplete())
            return index;
    } else if (!keysComplete()) {
        return kReload;
    }
    if (change == ChangeFeed::Kind::Deleted) {
        if (index >= 0)
            removeKey(index);
        return index;
    }
    if (change == ChangeFeed::Kind::Inserted && index >= 0)
        return -1; // this set's own new row
    // Whether the statement selects the row now, and where it goes: a
    // change may move it, or take it into the set or out of it.
    const bool selected = selects(key);
    if (index < 0 && !selected)
        return -1;
    const bool current = index >= 0 && index == pos_;
    if (index >= 0) {
        if (selected && !orderKnown_)
            return index; // stays where it was until the next set
        if (selected && staysInPlace(index))
            return index;
        removeKey(index);
    }
    if (selected && !insertKey(key))
        return kReload;
    const long now = selected ? keys_.indexOf(key) : -1;
    if (current && now >= 0)
        pos_ = now; // the current row moved: it stays current where it went
    if (change == ChangeFeed::Kind::Inserted)
        return now;
    return now == index ? index : kMoved;
}

std::vector<PgRecordset::Place> PgRecordset::placesOf(const std::vector<std::int64_t>& keys) {
    std::vector<std::int64_t> unread;
    for (std::int64_t k : keys)
        if (!prepared_.places.count(k))
            unread.push_back(k);
    const auto read = readPlaces(unread);
    std::vector<Place> out;
    out.reserve(keys.size());
    for (std::int64_t k : keys) {
        const auto it = prepared_.places.find(k);
        out.push_back(it != prepared_.places.end() ? it->second : read.at(k));
    }
    return out;
}

long PgRecordset::placeOf(std::int64_t key) {
    if (!orderKnown_)
        return -1;
    const Place mine = placesOf({key}).front();
    // Whether a row sorts before this one in the set's order.
    auto before = [&](const Place& there) {
        return descending_ ? sortsBefore(mine, there) : sortsBefore(there, mine);
    };
    // Each round reads the places of up to kProbes keys spread evenly over
    // [lo, hi), and narrows it to the gap between the last one read that
    // sorts before the row and the first after it that does not; a round
    // that reads every key of the range places the row. Rows deleted
    // meanwhile, whose news is still to come, are passed over.
    long lo = 0, hi = keys_.size();
    while (lo < hi) {
        const long n = hi - lo;
        const bool whole = n <= kProbes;
        std::vector<long> at;
        for (long i = 0; i < std::min(n, kProbes); ++i)
            at.push_back(whole ? lo + i : lo + i * n / kProbes);
        std::vector<std::int64_t> probed;
        for (long a : at)
            probed.push_back(keys_.at(a));
        const std::vector<Place> places = placesOf(probed);
        long last = -1; // the last probe that sorts before the row
        for (std::size_t i = 0; i < places.size(); ++i)
            if (!places[i].missing && before(places[i]))
                last = static_cast<long>(i);
        long next = hi; // the first probe after it that does not
        for (std::size_t i = static_cast<std::size_t>(last + 1); i < places.size(); ++i)
            if (!places[i].missing) {
                next = at[i];
                break;
            }
        if (whole)
            return last < 0 ? lo : at[static_cast<std::size_t>(last)] + 1;
        if (last < 0 && next == hi) {
            // Every probe deleted (a statement deleting most of the set,
            // its news still to come): the row goes into the first slice.
            hi = at[1];
            continue;
        }
        lo = last < 0 ? lo : at[static_cast<std::size_t>(last)] + 1;
        hi = next;
    }
    return lo;
}

// The key and sort value of rows, as the server orders them: plain letters
// folded, compared byte by byte, Null first.
std::string PgRecordset::sortValueSql(const std::string& where) const {
    return "SELECT \"ID\", " +
           (orderColumn_.empty() ? std::string("NULL")
                                 : "lower(" + PgDialect::quote(orderColumn_) + ")") +
           " FROM " + serverTable_ + " WHERE " + where;
}

bool PgRecordset::sortsBefore(const Place& a, const Place& b) const {
    if (!orderColumn_.empty()) {
        if (a.null != b.null)
            return a.null;
        if (a.text != b.text)
            return a.text < b.text;
    }
    return a.key < b.key;
}

bool PgRecordset::staysInPlace(long index) {
    std::vector<std::int64_t> keys;
    for (long at = std::max(0L, index - 1); at <= std::min(index + 1, keys_.size() - 1); ++at)
        keys.push_back(keys_.at(at));
    const std::vector<Place> places = placesOf(keys);
    for (const Place& p : places)
        if (p.missing)
            return false; // a neighbour deleted meanwhile: placed anew
    // In the set's order each row sorts after the one before it.
    for (std::size_t i = 1; i < places.size(); ++i) {
        const bool inOrder = descending_ ? sortsBefore(places[i], places[i - 1])
                                         : sortsBefore(places[i - 1], places[i]);
        if (!inOrder)
            return false;
    }
    return true;
}

} // namespace engine
