#pragma once

#include "KeyLoader.h"
#include "platform/db/EngineError.h"
#include "platform/db/KeyList.h"
#include "platform/db/Recordset.h"
#include "platform/db/Value.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace engine {

class Statement;

class SqliteDatabase;

// A dynaset on the database file: the statement is run for the ordered
// keys of its rows only; whole rows are read by key when they are needed, a
// page at a time, into a cache of bounded size. The keys are read, and the
// rows counted, on threads of their own (see KeyLoader).
class SqliteRecordset : public Recordset {
public:
    using Row = std::vector<Value>;
    static constexpr long kPageRows = 256;
    static constexpr std::size_t kMaxPages = 64;

    ~SqliteRecordset() override;

    // Always the exact number of rows in the set; waits for the count.
    long RecordCount() const override;
    // What is known of the count without waiting: the exact count once it
    // is, and until then the keys read so far.
    long knownRowCount() const override;
    // Whether every key is read (or failed to be).
    bool keysComplete() const override { return !loader_ || loader_->keysDone(); }
    // Whether RecordCount() would answer without waiting (it may throw
    // then, when the rows could not be read); asks for the count.
    bool countKnown() const override;
    // Waits at most the given time for the count, or for every key;
    // whether it came.
    bool waitForCount(std::chrono::milliseconds limit) const override;
    bool waitForKeys(std::chrono::milliseconds limit) const override;
    // Called on a loading thread when the keys are all in and when the
    // count is known (never on the caller's thread).
    void setOnChange(std::function<void()> onChange) override;
    // Waits until the set is read whole and counted: no other connection of
    // this set reads the file any more (writes wait for this).
    void waitForIdle() const override;
    bool IsBOF() const override { return pos_ < 0; }
    bool IsEOF() const override { return pos_ >= RecordCount(); }
    long AbsolutePosition() const override { return pos_; }
    void setAbsolutePosition(long index) override;

    void MoveFirst() override;
    void MoveLast() override;
    void MoveNext() override;
    void MovePrevious() override;

    // AddNew then Update appends a row made of the table's defaults;
    // Update returns the new key.
    void AddNew() override;
    std::int64_t Update() override;

    // Removes the current row from the table at once. MoveNext then makes
    // the row after it current.
    void Delete() override;

    // Makes the first row (in the set's order) that meets the criterion
    // current; NoMatch tells whether there was one.
    void FindFirst(const std::string& criterion) override;
    bool NoMatch() const override { return noMatch_; }

    int FieldCount() const override { return static_cast<int>(fieldNames_.size()); }
    const std::vector<std::string>& FieldNames() const override { return fieldNames_; }
    const Value& Field(int column) override; // of the current row

    // Random access for the grid. A row that could not be read throws the
    // engine's description of why; it is tried again a little later.
    const Value& valueAt(long index, int column) override;
    bool rowReadable(long index) override;
    // Whether any read of this set has failed: until then every row reads.
    bool readFailures() const override;
    std::int64_t keyAt(long index) const override;
    long indexOfKey(std::int64_t key) const override;
    // A copy of every key, in order; waits for them.
    std::vector<std::int64_t> keys() const override;
    const std::string& Table() const override { return table_; }

    // Writes changed cells of one row in one statement. Text for a numeric
    // column must be a number written with a point; empty text stores Null.
    void updateRow(long index, const std::vector<std::pair<int, std::string>>& changes) override;

    bool ReadOnly() const override { return readOnly_; }
    // Drops the rows read so far; the next reads go to the file again.
    void clearCache() override {
        pages_.clear();
        lru_.clear();
    }
    void makeReadOnly() override { readOnly_ = true; }

private:
    friend class SqliteDatabase;
    SqliteRecordset(std::shared_ptr<SqliteDatabase> db, const std::string& sql, bool readOnly);

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

    std::shared_ptr<SqliteDatabase> db_;
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
