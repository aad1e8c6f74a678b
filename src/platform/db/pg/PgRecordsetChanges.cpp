// A server record set following other users' changes (see PgRecordset.h):
// a changed row read again, a new or changed row placed in the set's order,
// a deleted one taken out, with the versions of rows read before a shift
// carried to their new places.
//
// What applying a batch asks the server (the rows read again, which keys
// the statement selects, the rows' places in the order) is read for the
// whole batch in a few statements before it is applied (prepareChanges):
// the places of all the rows it moves or adds are searched together, each
// round one statement for every row (planPlaces), and each row keeps the
// neighbours it goes between. A row the batch changed and has not applied
// yet is passed over by every search and check: its old place says nothing
// about its order. Whatever the batch's reading did not answer is asked
// when needed, a row's place then found in a few statements of many probes
// each.
#include "PgRecordset.h"

#include "PgDatabase.h"

#include <algorithm>

namespace engine {

namespace {

// Keys whose places one statement of a search reads.
constexpr long kProbes = 256;
// The same for a batch's searches together.
constexpr long kRoundProbes = 4096;

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
    relocate(index);
    if (pos_ > index || pos_ >= keys_.size())
        --pos_;
}

long PgRecordset::insertKey(std::int64_t key) {
    const long index = placeOf(key);
    if (index < 0)
        return -1;
    carryVersions(index);
    insertRow(index, key);
    relocate(index, key);
    if (pos_ >= index)
        ++pos_;
    return index;
}

long PgRecordset::where(std::int64_t key) const {
    if (located())
        if (const auto it = prepared_.at.find(key); it != prepared_.at.end())
            return it->second;
    return keys_.indexOf(key);
}

void PgRecordset::relocate(long index, std::optional<std::int64_t> key) {
    // One change of the keys since the places were right: this one.
    if (!prepared_.atChanges || keys_.changes() != *prepared_.atChanges + 1) {
        prepared_.atChanges.reset();
        return;
    }
    prepared_.atChanges = keys_.changes();
    for (auto& [k, at] : prepared_.at)
        if (key && at >= index)
            ++at;
        else if (!key && at == index)
            at = -1;
        else if (!key && at > index)
            --at;
    if (key)
        prepared_.at[*key] = index;
}

bool PgRecordset::prepareChanges(const std::vector<ChangeFeed::Change>& changes) {
    prepared_ = {};
    if (changes.empty()) {
        keys_.pack(); // the batch is over
        return true;
    }
    try {
        PgConnection& conn = db_->connection();
        std::vector<std::int64_t> all, reread, placed;
        for (const auto& c : changes) {
            prepared_.pending.insert(c.key);
            all.push_back(c.key);
        }
        // The loading thread appends no more once the keys are all in:
        // places found then stand until the keys are changed here.
        if (keysComplete()) {
            prepared_.at = keys_.indexesOf(all);
            prepared_.atChanges = keys_.changes();
        }
        for (const auto& c : changes) {
            const long index = where(c.key);
            if (c.kind == ChangeFeed::Kind::Changed && index >= 0 && cachedRow(index))
                reread.push_back(c.key);
            if (c.kind == ChangeFeed::Kind::Deleted)
                continue;
            placed.push_back(c.key);
            if (index < 0)
                continue;
            // A changed row's nearest neighbours the batch leaves alone say
            // whether it stays.
            for (long step : {-1L, 1L})
                for (long at = index + step, tried = 0;
                     at >= 0 && at < keys_.size() && tried < kProbes; at += step, ++tried)
                    if (!prepared_.pending.count(keys_.at(at))) {
                        placed.push_back(keys_.at(at));
                        if (located())
                            prepared_.at.emplace(keys_.at(at), at);
                        break;
                    }
        }
        if (!reread.empty()) {
            PgResult r = conn.exec(pageSql_, {keyArray(reread)});
            for (std::int64_t k : reread)
                prepared_.rows[k] = std::nullopt; // deleted meanwhile unless read
            for (int i = 0; i < r.rows(); ++i)
                prepared_.rows[r.integer(i, keyColumn_ + 1)] = rowOf(r, i, 1);
        }
        if (!keysComplete())
            return true; // nothing is placed until the keys are all in
        PgResult r =
            conn.exec("SELECT q.\"ID\" FROM (" + keySql_ + ") q WHERE q.\"ID\" = ANY($1::bigint[])",
                      {keyArray(all)});
        prepared_.asked.insert(all.begin(), all.end());
        for (int i = 0; i < r.rows(); ++i)
            prepared_.selected.insert(r.integer(i, 0));
        if (!orderKnown_)
            return true;
        prepared_.places = readPlaces(placed);
        // The rows that will be placed: new ones, and changed ones that no
        // longer sort between their neighbours.
        std::vector<std::int64_t> moving;
        for (const auto& c : changes) {
            if (c.kind == ChangeFeed::Kind::Deleted || !prepared_.selected.count(c.key))
                continue;
            const long index = where(c.key);
            if (index < 0 || !staysInPlace(index))
                moving.push_back(c.key);
        }
        planPlaces(moving);
    } catch (const EngineError&) {
        prepared_ = {}; // each change asks what it needs
    }
    return prepared_.searches.empty();
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
    prepared_.pending.erase(key); // its place is known from here on
    PgConnection& conn = db_->connection();
    const long index = where(key);
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
    const long now = selected ? insertKey(key) : -1;
    if (selected && now < 0)
        return kReload;
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

void PgRecordset::planPlaces(const std::vector<std::int64_t>& rows) {
    // The rows being placed are passed over where they stand now: they
    // leave those places.
    prepared_.moving = {rows.begin(), rows.end()};
    prepared_.searches.clear();
    prepared_.searchedSize = keys_.size();
    for (std::int64_t k : prepared_.moving)
        if (const auto it = prepared_.places.find(k);
            it != prepared_.places.end() && !it->second.missing)
            prepared_.searches.push_back({k, it->second, 0, keys_.size(), false, {}});
}

bool PgRecordset::planRound() {
    auto& open = prepared_.searches;
    const auto& moving = prepared_.moving;
    const long n = keys_.size();
    if (n != prepared_.searchedSize)
        open.clear(); // this user's own rows came or went: placed one by one
    auto stands = [&](long at) -> const Place* {
        const Place& p = prepared_.places.at(keys_.at(at));
        return p.missing || moving.count(p.key) ? nullptr : &p;
    };
    // The nearest row that stays, from `at` on in the direction given.
    auto nearest = [&](long at, long step) -> std::optional<std::int64_t> {
        for (int tried = 0; at >= 0 && at < n && tried < kProbes; at += step, ++tried) {
            const std::int64_t k = keys_.at(at);
            if (const auto it = prepared_.places.find(k);
                it != prepared_.places.end() && !it->second.missing && !moving.count(k)) {
                if (located())
                    prepared_.at.emplace(k, at); // placeOf starts from it
                return k;
            }
        }
        return std::nullopt;
    };
    if (open.empty())
        return true;
    // Each round is placeOf's, for every row at once in one statement; the
    // probes are shared out so that a round reads at most kRoundProbes.
    const long each = std::clamp(kRoundProbes / static_cast<long>(open.size()), 2L, kProbes);
    std::vector<std::int64_t> unread;
    for (PlaceSearch& s : open) {
        const long span = s.hi - s.lo;
        s.whole = span <= each;
        s.at.clear();
        for (long i = 0; i < std::min(span, each); ++i)
            s.at.push_back(s.whole ? s.lo + i : s.lo + i * span / each);
        for (long a : s.at)
            if (!prepared_.places.count(keys_.at(a)))
                unread.push_back(keys_.at(a));
    }
    std::sort(unread.begin(), unread.end());
    unread.erase(std::unique(unread.begin(), unread.end()), unread.end());
    for (auto& [k, place] : readPlaces(unread))
        prepared_.places[k] = std::move(place);
    std::vector<PlaceSearch> next;
    for (PlaceSearch& s : open) {
        auto before = [&](const Place& there) {
            return descending_ ? sortsBefore(s.mine, there) : sortsBefore(there, s.mine);
        };
        long last = -1;
        for (std::size_t i = 0; i < s.at.size(); ++i)
            if (const Place* p = stands(s.at[i]); p && before(*p))
                last = static_cast<long>(i);
        long after = s.hi;
        for (std::size_t i = static_cast<std::size_t>(last + 1); i < s.at.size(); ++i)
            if (stands(s.at[i])) {
                after = s.at[i];
                break;
            }
        if (s.whole) {
            const long at = last < 0 ? s.lo : s.at[static_cast<std::size_t>(last)] + 1;
            prepared_.between[s.key] = {nearest(at - 1, -1), nearest(at, 1)};
            continue;
        }
        if (last < 0 && after == s.hi)
            s.hi = s.at[1];
        else {
            s.lo = last < 0 ? s.lo : s.at[static_cast<std::size_t>(last)] + 1;
            s.hi = after;
        }
        next.push_back(std::move(s));
    }
    open.swap(next);
    return open.empty();
}

bool PgRecordset::prepareMore() {
    try {
        return planRound();
    } catch (const EngineError&) {
        prepared_.searches.clear(); // the rest placed one by one
        return true;
    }
}

long PgRecordset::plannedPlace(std::int64_t key) {
    const auto it = prepared_.between.find(key);
    const auto mine = prepared_.places.find(key);
    if (it == prepared_.between.end() || mine == prepared_.places.end())
        return -1;
    const auto& [below, above] = it->second;
    long at = 0; // with neither, the set had no other row
    if (const std::optional<std::int64_t> by = above ? above : below) {
        at = where(*by);
        if (at < 0)
            return -1; // gone meanwhile: searched anew
        at += above ? 0 : 1;
    }
    auto before = [&](const Place& there) {
        return descending_ ? sortsBefore(mine->second, there) : sortsBefore(there, mine->second);
    };
    // Rows of the batch placed meanwhile may stand in the same gap: a few
    // steps, over places read already, settle the row among them.
    for (long step = 0; step < kProbes; ++step) {
        const long below = at > 0 ? standingFrom(at - 1, -1) : -1;
        const long above = standingFrom(at, 1);
        if (below == kGaveUp || above == kGaveUp)
            return -1;
        if (below >= 0 && !before(placesOf({keys_.at(below)}).front()))
            at = below;
        else if (above >= 0 && before(placesOf({keys_.at(above)}).front()))
            at = above + 1;
        else
            return at;
    }
    return -1;
}

long PgRecordset::placeOf(std::int64_t key) {
    if (!orderKnown_)
        return -1;
    if (const long planned = plannedPlace(key); planned >= 0)
        return planned;
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
            if (standing(places[i]) && before(places[i]))
                last = static_cast<long>(i);
        long next = hi; // the first probe after it that does not
        for (std::size_t i = static_cast<std::size_t>(last + 1); i < places.size(); ++i)
            if (standing(places[i])) {
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

long PgRecordset::standingFrom(long at, long step) {
    for (long tried = 0; at >= 0 && at < keys_.size(); at += step, ++tried) {
        if (tried == kProbes)
            return kGaveUp;
        const std::int64_t k = keys_.at(at);
        if (!prepared_.pending.count(k) && !placesOf({k}).front().missing)
            return at;
    }
    return -1;
}

bool PgRecordset::staysInPlace(long index) {
    const Place mine = placesOf({keys_.at(index)}).front();
    const long below = standingFrom(index - 1, -1), above = standingFrom(index + 1, 1);
    if (mine.missing || below == kGaveUp || above == kGaveUp)
        return false; // placed anew
    // In the set's order each row sorts after the one before it.
    auto inOrder = [&](const Place& a, const Place& b) {
        return descending_ ? sortsBefore(b, a) : sortsBefore(a, b);
    };
    return (below < 0 || inOrder(placesOf({keys_.at(below)}).front(), mine)) &&
           (above < 0 || inOrder(mine, placesOf({keys_.at(above)}).front()));
}

} // namespace engine
