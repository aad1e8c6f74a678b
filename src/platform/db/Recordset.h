#pragma once

#include "ChangeFeed.h"
#include "Value.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace engine {

class KeyList;

// A dynaset: the rows of a statement in its order, read by key when they
// are needed. Writes go to the base table by [ID].
//
// The keys are read, and the rows counted, in the background: a set is
// ready as soon as its first screen of keys is in. Whatever needs more
// (the count, a far row, a write) waits for it. Failures are thrown as
// EngineError in the engine's words.
class Recordset {
public:
    virtual ~Recordset() = default;

    // Always the exact number of rows in the set; waits for the count.
    virtual long RecordCount() const = 0;
    // What is known of the count without waiting: the exact count once it
    // is, and until then the keys read so far.
    virtual long knownRowCount() const = 0;
    // Whether every key is read (or failed to be).
    virtual bool keysComplete() const = 0;
    // How many keys are read so far: rows below it are reached without
    // waiting for the loader (those after it wait for their keys).
    virtual long keysRead() const = 0;
    // Whether RecordCount() would answer without waiting (it may throw
    // then, when the rows could not be read); asks for the count.
    virtual bool countKnown() const = 0;
    // Waits at most the given time for the count, or for every key;
    // whether it came.
    virtual bool waitForCount(std::chrono::milliseconds limit) const = 0;
    virtual bool waitForKeys(std::chrono::milliseconds limit) const = 0;
    // Whether the first screen of keys is in (or every key), waiting at
    // most limit for it; once it is, the first row is current. Throws what
    // the statement met when it ended before giving a first screen.
    virtual bool settleOpening(std::chrono::milliseconds limit) = 0;
    // Called on a loading thread when the first screen of keys is in, when
    // the keys are all in and when the count is known (never on the
    // caller's thread).
    virtual void setOnChange(std::function<void()> onChange) = 0;
    // Waits until the set is read whole and counted: no other connection of
    // this set reads the file any more (writes wait for this).
    virtual void waitForIdle() const = 0;
    virtual bool IsBOF() const = 0;
    virtual bool IsEOF() const = 0;
    virtual long AbsolutePosition() const = 0;
    virtual void setAbsolutePosition(long index) = 0;

    virtual void MoveFirst() = 0;
    virtual void MoveLast() = 0;
    virtual void MoveNext() = 0;
    virtual void MovePrevious() = 0;

    // AddNew then Update appends a row made of the table's defaults;
    // Update returns the new key.
    virtual void AddNew() = 0;
    virtual std::int64_t Update() = 0;

    // Removes the current row from the table at once. MoveNext then makes
    // the row after it current.
    virtual void Delete() = 0;

    // Makes the first row (in the set's order) that meets the criterion
    // current; NoMatch tells whether there was one.
    virtual void FindFirst(const std::string& criterion) = 0;
    virtual bool NoMatch() const = 0;

    virtual int FieldCount() const = 0;
    virtual const std::vector<std::string>& FieldNames() const = 0;
    virtual const Value& Field(int column) = 0; // of the current row

    // Random access for the grid. A row that could not be read throws the
    // engine's description of why; it is tried again a little later.
    virtual const Value& valueAt(long index, int column) = 0;
    virtual bool rowReadable(long index) = 0;
    // Whether any read of this set has failed: until then every row reads.
    // Whether the row at index is read, so that a cell of it is shown
    // without a round trip to a server (always, for a back end at hand).
    virtual bool rowAtHand(long index) const {
        (void)index;
        return true;
    }
    // Reads the rows about index on a thread of the set's own; ready is
    // called there when they are in, and takeRowsRead() then keeps them.
    virtual void readAhead(long index, std::function<void()> ready) {
        (void)index;
        (void)ready;
    }
    // The rows read ahead since the last call, kept now: first and last
    // index of each run. Rows whose place changed meanwhile are dropped.
    virtual std::vector<std::pair<long, long>> takeRowsRead() { return {}; }
    virtual bool readFailures() const = 0;
    virtual std::int64_t keyAt(long index) const = 0;
    virtual long indexOfKey(std::int64_t key) const = 0;
    // The same without waiting: among the keys read so far, tried at near
    // first; -1 when they do not hold it.
    virtual long findKey(std::int64_t key, long near) const = 0;
    // A copy of every key, in order; waits for them.
    virtual std::vector<std::int64_t> keys() const = 0;
    // Every key, in order, lent without a copy once all are read: the set
    // makes its own next change of them on a copy, so the list lent never
    // changes. Null while they are still coming; throws when they could
    // not be read. Never waits.
    virtual std::shared_ptr<const KeyList> sharedKeys() const = 0;
    virtual const std::string& Table() const = 0;

    // Writes changed cells of one row in one statement. Text for a numeric
    // column must be a number written with a point; empty text stores Null.
    // A row another user changed since it was read throws WriteConflict
    // (both values in its text), a row gone throws RowDeleted.
    using Changes = std::vector<std::pair<int, std::string>>;
    virtual void updateRow(long index, const Changes& changes) = 0;

    // The same write named by the row's key and the version it was read at,
    // whatever the row's place in the set is by now: what an edit held
    // across events saves. A back end that keeps no versions takes any.
    // near: where the row probably is in the set (its cached copy is then
    // found without a search). Refusals (rights, a value the column cannot
    // hold, a lost connection) are thrown; what another user did is told.
    struct RowWrite {
        enum class Outcome { Saved, Conflict, Deleted };
        Outcome outcome = Outcome::Saved;
        std::vector<Value> theirs; // Conflict: the row as stored now
        std::string version;       // Saved: the row's new version; Conflict: theirs
    };
    virtual RowWrite writeRow(std::int64_t key, const std::string& version, const Changes& changes,
                              long near = -1) = 0;
    // The version of the row at index as this set read it; empty where the
    // back end keeps none. Throws RowDeleted for a row gone since.
    virtual std::string versionAt(long index) = 0;

    // Another user's committed change to the row with this key: a changed
    // row is read again if this set holds it (and moves, comes in or
    // leaves as the statement now places it), a new one placed among the
    // rows if the statement selects it, a deleted one removed. The row's
    // index in the set; -1 when the set does not show it; kMoved when a
    // changed row moved, came or went (the rows between changed places);
    // kReload when only a new set would show it rightly (its keys still
    // coming, an order this set cannot follow).
    // Before a batch of other users' changes to this set's table is applied,
    // one change at a time: what applying them asks is read for the whole
    // batch at once. None: what was read is let go of. False when there is
    // more to read: prepareMore reads the next part, a turn at a time,
    // until it returns true (changes applied before then are right, only
    // slower).
    virtual bool prepareChanges(const std::vector<ChangeFeed::Change>& changes) {
        (void)changes;
        return true;
    }
    virtual bool prepareMore() { return true; }
    static constexpr long kReload = -2;
    static constexpr long kMoved = -3;
    virtual long applyChange(ChangeFeed::Kind change, std::int64_t key) {
        (void)change;
        (void)key;
        return -1;
    }

    virtual bool ReadOnly() const = 0;
    // Drops the rows read so far; the next reads go to the file again.
    virtual void clearCache() = 0;
    virtual void makeReadOnly() = 0;

protected:
    Recordset() = default;
    Recordset(const Recordset&) = delete;
    Recordset& operator=(const Recordset&) = delete;
};

} // namespace engine
