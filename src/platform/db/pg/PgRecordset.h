#pragma once

#include "platform/db/KeyedRecordset.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace engine {

class PgConnection;
class PgDatabase;
class PgResult;

// A dynaset on the server: keys are read through a server-side cursor on
// the loader's own connection; rows by key, a page at a time, each with
// the row version it was read at. A write names that version, so that a
// row changed or deleted by another user since is never written over: the
// write fails with the engine's words for what happened.
class PgRecordset : public KeyedRecordset {
public:
    PgRecordset(std::shared_ptr<PgDatabase> db, const std::string& sql, bool readOnly,
                bool waitForFirstScreen);
    ~PgRecordset() override;

    std::int64_t Update() override;
    void Delete() override;
    void FindFirst(const std::string& criterion) override;
    RowWrite writeRow(std::int64_t key, const std::string& version, const Changes& changes,
                      long near) override;
    std::string versionAt(long index) override { return versionOf(index); }
    bool prepareChanges(const std::vector<ChangeFeed::Change>& changes) override;
    bool prepareMore() override;
    long applyChange(ChangeFeed::Kind change, std::int64_t key) override;

private:
    std::string goneText() const override;
    EngineError loadingFailure(const KeyLoader::Failure& f) const override;
    const std::vector<Database::Column>& tableColumns() override;
    Page readPage(long page) override;
    bool readsAhead() const override;
    Page readElsewhere(const std::vector<std::int64_t>& keys) const override;
    void placeRead(Page& page, const std::vector<std::int64_t>& keys) override;
    // The rows of these keys on conn; a row gone is an empty one.
    Page readRows(PgConnection& conn, const std::vector<std::int64_t>& keys) const;
    // The version of the row at index as read, or throws when the row is
    // gone (read as an empty row).
    std::string versionOf(long index);
    // Removes a deleted row from the set. The rows after it move up and
    // are read again; the versions they were shown at go with them, so
    // that a change another user made meanwhile is still noticed.
    void forgetDeleted(long index);
    // The versions of the cached rows from index on, kept for when they
    // are read again at their new places.
    void carryVersions(long from);
    // Where a row another user added goes in this set's order; -1 when
    // this set's order cannot be followed.
    long placeOf(std::int64_t key);
    // Whether a changed row still sorts between the nearest rows beside it
    // that stand (it stays where it is): read with the batch, where placing
    // it anew is a search through the whole set.
    bool staysInPlace(long index);
    // The places of the batch's rows among the set's keys as they stand,
    // all searched together, a statement a round for the whole batch (the
    // first round in planRound, true when every row is placed); each row's
    // neighbours there are kept for placeOf (see plannedPlace).
    void planPlaces(const std::vector<std::int64_t>& rows);
    bool planRound();
    long plannedPlace(std::int64_t key);
    struct Place {
        bool missing; // deleted since: no longer anywhere in the order
        bool null;
        std::string text;
        std::int64_t key;
    };
    // One row's search: the range of the set's keys it lies in, and the
    // keys probed in this round.
    struct PlaceSearch {
        std::int64_t key;
        Place mine;
        long lo, hi;
        bool whole = false;
        std::vector<long> at;
    };
    // The nearest row from `at` on, going by `step`, that stands where it
    // is: not deleted, nor changed by the batch and still to be placed.
    // -1 past the end; kGaveUp when none is near enough to look for.
    static constexpr long kGaveUp = -2;
    long standingFrom(long at, long step);
    bool standing(const Place& p) const { return !p.missing && !prepared_.pending.count(p.key); }
    std::string sortValueSql(const std::string& where) const;
    // The places of rows, read in one statement (deleted ones missing).
    std::unordered_map<std::int64_t, Place> readPlaces(const std::vector<std::int64_t>& keys);
    // The same, in the order asked, from the batch's reading where it has them.
    std::vector<Place> placesOf(const std::vector<std::int64_t>& keys);
    // Whether the statement selects the row now.
    bool selects(std::int64_t key);
    bool sortsBefore(const Place& a, const Place& b) const;
    // A row leaving the set, or coming into it at its place (false when the
    // set's order cannot be followed).
    void removeKey(long index);
    // The row's new index, or -1 when the set's order cannot be followed.
    long insertKey(std::int64_t key);
    // Where the row with this key stands, -1 when nowhere: from the batch's
    // places when it knows them, otherwise by a look at every key.
    long where(std::int64_t key) const;
    bool located() const { return prepared_.atChanges == keys_.changes(); }
    // The batch's places kept through a key taken out at index (or put in,
    // when key is given), or given up when the keys changed otherwise too.
    void relocate(long index, std::optional<std::int64_t> key = std::nullopt);
    void readOrder(const std::string& sql);
    Row rowOf(const PgResult& r, int i, int first) const;

    std::shared_ptr<PgDatabase> db_;
    std::string serverTable_; // quoted
    std::string keySql_;
    std::string pageSql_;
    std::unordered_map<std::int64_t, Value> carried_; // versions of rows read before a shift
    // What the batch being applied asks, read for it at once.
    struct Prepared {
        std::unordered_map<std::int64_t, std::optional<Row>> rows; // none: deleted meanwhile
        std::unordered_set<std::int64_t> asked;                    // keys whose selection was read
        std::unordered_set<std::int64_t> selected;                 // of those, the ones selected
        std::unordered_map<std::int64_t, Place> places;
        std::unordered_set<std::int64_t> pending; // changed, not applied yet
        // A row's neighbours in the order (none at an end).
        struct Between {
            std::optional<std::int64_t> before;
            std::optional<std::int64_t> after;
        };
        std::unordered_map<std::int64_t, Between> between;
        std::unordered_set<std::int64_t> moving; // the rows being placed
        std::vector<PlaceSearch> searches;       // still searching
        long searchedSize = 0;                   // the set's rows searched through
        // Where the batch's rows and the neighbours it looks at stand,
        // found in one pass over the keys and kept through the batch's own
        // changes of them: good while the keys' count of changes is
        // atChanges (none: not found).
        std::unordered_map<std::int64_t, long> at;
        std::optional<std::uint64_t> atChanges;
    };
    Prepared prepared_;
    // The set's order, when it is one text column (the program's views) or
    // none (key order); orderKnown_ false for any other.
    bool orderKnown_ = false;
    std::string orderColumn_; // empty: by key
    bool descending_ = false;
};

} // namespace engine
