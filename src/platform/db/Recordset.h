#pragma once

#include "EngineError.h"
#include "KeyList.h"
#include "KeyLoader.h"
#include "Value.h"

#include <cstdint>
#include <list>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace engine {

class Statement;

class Database;

// A dynaset: the statement is run for the ordered keys of its rows only;
// whole rows are read by key when they are needed, a page at a time, into
// a cache of bounded size. Writes go to the base table by [ID].
//
// The keys are read, and the rows counted, on threads of their own: a set
// is ready as soon as its first screen of keys is in. Whatever needs more
// (the count, a far row, a write) waits for it; see KeyLoader.
class Recordset {
public:
    using Row = std::vector<Value>;
    static constexpr long kPageRows = 256;
    static constexpr std::size_t kMaxPages = 64;

    ~Recordset();

    // Always the exact number of rows in the set; waits for the count.
    long RecordCount() const;
    // What is known of the count without waiting: the exact count once it
    // is, and until then the keys read so far.
    long knownRowCount() const;
    // Whether every key is read (or failed to be).
    bool keysComplete() const { return !loader_ || loader_->keysDone(); }
    // Whether RecordCount() would answer without waiting (it may throw
    // then, when the rows could not be read); asks for the count.
    bool countKnown() const;
    // Waits at most the given time for the count, or for every key;
    // whether it came.
    bool waitForCount(std::chrono::milliseconds limit) const;
    bool waitForKeys(std::chrono::milliseconds limit) const;
    // Called on a loading thread when the keys are all in and when the
    // count is known (see KeyLoader::setOnChange).
    void setOnChange(std::function<void()> onChange);
    // Waits until the set is read whole and counted: no other connection of
    // this set reads the file any more (writes wait for this).
    void waitForIdle() const;
    bool IsBOF() const { return pos_ < 0; }
    bool IsEOF() const { return pos_ >= RecordCount(); }
    long AbsolutePosition() const { return pos_; }
    void setAbsolutePosition(long index);

    void MoveFirst();
    void MoveLast();
    void MoveNext();
    void MovePrevious();

    // AddNew then Update appends a row made of the table's defaults;
    // Update returns the new key.
    void AddNew();
    std::int64_t Update();

    // Removes the current row from the table at once. MoveNext then makes
    // the row after it current.
    void Delete();

    // Makes the first row (in the set's order) that meets the criterion
    // current; NoMatch tells whether there was one.
    void FindFirst(const std::string& criterion);
    bool NoMatch() const { return noMatch_; }

    int FieldCount() const { return static_cast<int>(fieldNames_.size()); }
    const std::vector<std::string>& FieldNames() const { return fieldNames_; }
    const Value& Field(int column); // of the current row

    // Random access for the grid. A row that could not be read throws the
    // engine's description of why; it is tried again a little later.
    const Value& valueAt(long index, int column);
    bool rowReadable(long index);
    // Whether any read of this set has failed: until then every row reads.
    bool readFailures() const;
    std::int64_t keyAt(long index) const;
    long indexOfKey(std::int64_t key) const;
    // A copy of every key, in order; waits for them.
    std::vector<std::int64_t> keys() const;
    const std::string& Table() const { return table_; }

    // Writes changed cells of one row in one statement. Text for a numeric
    // column must be a number written with a point; empty text stores Null.
    void updateRow(long index, const std::vector<std::pair<int, std::string>>& changes);

    bool ReadOnly() const { return readOnly_; }
    // Drops the rows read so far; the next reads go to the file again.
    void clearCache() {
        pages_.clear();
        lru_.clear();
    }
    void makeReadOnly() { readOnly_ = true; }

private:
    friend class Database;
    Recordset(std::shared_ptr<Database> db, const std::string& sql, bool readOnly);

    void waitForKeys() const;
    // Starts reading the keys; whole: waits for all of them, not just the
    // first screen.
    void readKeys(const std::string& keySql, std::string countSql, const std::string& shownSql,
                  bool whole);
    [[noreturn]] void failLoading(const KeyLoader::Failure& f) const;
    EngineError loadingError() const;
    void requireCurrent() const;
    void requireWritable() const;
    Value coerce(int column, const std::string& text);
    struct Page;
    const Row& rowAt(long index);
    Page readPage(long page);
    bool readPageAtOnce(long first, Page& p);
    void dropPage(long index);

    std::shared_ptr<Database> db_;
    std::string sql_;
    std::string table_;
    bool readOnly_;
    KeyList keys_;
    std::unique_ptr<KeyLoader> loader_; // after keys_: stopped before they go
    std::vector<std::string> fieldNames_;
    int keyColumn_ = -1;
    std::unique_ptr<Statement> rowStmt_;  // one row by its key
    std::unique_ptr<Statement> pageStmt_; // a page's rows by their keys
    long pos_ = -1;
    bool afterDelete_ = false;
    bool noMatch_ = true;
    bool adding_ = false;

    struct Page {
        std::vector<Row> rows;
        std::vector<bool> unreadable;
        bool failed = false;
        bool partial = false; // read while its keys were still coming
        long long retryAt = 0;
        EngineError error{0, ""};
        std::list<long>::iterator lru;
    };
    std::unordered_map<long, Page> pages_;
    std::list<long> lru_;
    Row emptyRow_;
    bool readFailures_ = false;
};

} // namespace engine
