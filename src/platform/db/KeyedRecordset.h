#pragma once

#include "Database.h"
#include "EngineError.h"
#include "KeyList.h"
#include "KeyLoader.h"
#include "SharedKeys.h"
#include "Recordset.h"
#include "ReadAhead.h"
#include "Value.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace engine {

// What every back end's dynaset shares: the statement is run for the
// ordered keys of its rows only (see KeyLoader); whole rows are read by key
// when they are needed, a page at a time, into a cache of bounded size.
// Moving about, counting and the cache are here; reading a page, writing
// and finding are the back end's.
class KeyedRecordset : public Recordset {
public:
    using Row = std::vector<Value>;
    static constexpr long kPageRows = 256;
    static constexpr std::size_t kMaxPages = 64;

    long RecordCount() const override;
    long knownRowCount() const override;
    bool keysComplete() const override { return !loader_ || loader_->keysDone(); }
    bool countKnown() const override;
    bool waitForCount(std::chrono::milliseconds limit) const override;
    bool waitForKeys(std::chrono::milliseconds limit) const override;
    void setOnChange(std::function<void()> onChange) override;
    void waitForIdle() const override;
    bool settleOpening(std::chrono::milliseconds limit) override;
    bool IsBOF() const override { return pos_ < 0; }
    bool IsEOF() const override { return pos_ >= RecordCount(); }
    long AbsolutePosition() const override { return pos_; }
    void setAbsolutePosition(long index) override;

    void MoveFirst() override;
    void MoveLast() override;
    void MoveNext() override;
    void MovePrevious() override;

    void AddNew() override;
    bool NoMatch() const override { return noMatch_; }

    int FieldCount() const override { return static_cast<int>(fieldNames_.size()); }
    const std::vector<std::string>& FieldNames() const override { return fieldNames_; }
    const Value& Field(int column) override;
    const Value& valueAt(long index, int column) override;
    bool rowReadable(long index) override;
    bool readFailures() const override;
    bool rowAtHand(long index) const override;
    void readAhead(long index, std::function<void()> ready) override;
    std::vector<std::pair<long, long>> takeRowsRead() override;
    std::int64_t keyAt(long index) const override;
    long indexOfKey(std::int64_t key) const override;
    long findKey(std::int64_t key, long near) const override;
    std::vector<std::int64_t> keys() const override;
    std::shared_ptr<const KeyList> sharedKeys() const override;
    long keysRead() const override { return keys_.size(); }
    const std::string& Table() const override { return table_; }
    // Written once for every back end: the row's key and version, handed
    // to the back end's keyed write.
    void updateRow(long index, const Changes& changes) final;

    bool ReadOnly() const override { return readOnly_; }
    void clearCache() override {
        pages_.clear();
        lru_.clear();
    }
    void makeReadOnly() override { readOnly_ = true; }

protected:
    KeyedRecordset(std::string sql, bool readOnly, bool waitForFirstScreen)
        : sql_(std::move(sql)), readOnly_(readOnly), waitForFirstScreen_(waitForFirstScreen) {}

    struct Page {
        std::vector<Row> rows;
        std::vector<bool> unreadable;
        bool failed = false;
        bool partial = false; // read while its keys were still coming
        long long retryAt = 0;
        EngineError error{0, ""};
        std::list<long>::iterator lru;
    };
    // The rows of one page, in key order; a row gone from the table is an
    // empty one, a row that cannot be read is marked and never shown empty.
    virtual Page readPage(long page) = 0;
    // Whether pages are read ahead on a thread (a server's round trips).
    virtual bool readsAhead() const { return false; }
    // The rows of these keys, in their order, read on the read-ahead
    // thread: nothing of the set's own state is touched.
    virtual Page readElsewhere(const std::vector<std::int64_t>& keys) const {
        (void)keys;
        return {};
    }
    // A page read elsewhere, as it is kept, on the set's own thread.
    virtual void placeRead(Page& page, const std::vector<std::int64_t>& keys) {
        (void)page;
        (void)keys;
    }
    // What a keyed write that found the row gone says.
    virtual std::string goneText() const { return "Record is deleted."; }
    // The engine's words for what a loading job met.
    virtual EngineError loadingFailure(const KeyLoader::Failure& f) const = 0;
    [[noreturn]] void failLoading(const KeyLoader::Failure& f) const { throw loadingFailure(f); }
    virtual const std::vector<Database::Column>& tableColumns() = 0;

    // Starts the loader and waits for the first screen of keys (unless the
    // set was opened not to), or for all of them when whole; a statement
    // that cannot run at all fails here.
    void startLoading(KeyLoader::KeysJob keysJob, KeyLoader::CountJob countJob, bool whole);
    // Stops the loader and the reads ahead: a back end calls it before its
    // connection goes.
    void stopLoading() {
        reader_.reset();
        loader_.reset();
    }
    void waitForKeys() const;
    EngineError loadingError() const;
    void requireCurrent() const;
    void requireWritable() const;
    // The text of a cell as the column's value; throws for text that the
    // column cannot hold.
    Value coerce(int column, const std::string& text);
    const Row& rowAt(long index);
    // The keys of a page's rows, in order.
    std::vector<std::int64_t> pageKeys(long page) const;
    void dropPage(long index);
    // Removes the row at index from the set (deleted): the pages after it
    // moved up by one.
    void forgetRow(long index);
    // Adds a row's key at index (a row another user added): the pages from
    // there on moved down by one.
    void insertRow(long index, std::int64_t key);
    // The row at index as cached, or null when it is not.
    Row* cachedRow(long index);
    // Every cached row from index on, with its index.
    void forEachCachedRow(long from, const std::function<void(long, const Row&)>& each) const;
    // FindFirst's end: the first row of the set, in its order, whose key
    // is among the hits becomes current.
    void moveToFirstOf(const std::unordered_set<std::int64_t>& hits);
    // A page marked as failed with this error, from row i on (or row i only).
    static void markUnreadable(Page& p, std::size_t i, bool wholePage, const EngineError& e);

    std::string sql_;
    std::string table_;
    bool readOnly_;
    bool waitForFirstScreen_;
    bool settled_ = false; // the first screen came, and the first row was made current
    SharedKeys keys_;
    std::unique_ptr<KeyLoader> loader_; // after keys_: stopped before they go
    std::vector<std::string> fieldNames_;
    int keyColumn_ = -1;
    long pos_ = -1;
    bool afterDelete_ = false;
    bool noMatch_ = true;
    bool adding_ = false;
    Row emptyRow_;
    bool readFailures_ = false;

private:
    void dropPagesFrom(long index);
    void keepPage(long page, Page&& fresh);

    struct PageRead {
        long page;
        std::vector<std::int64_t> keys;
        Page rows;
    };
    std::mutex readMutex_;
    std::vector<PageRead> read_; // under readMutex_
    std::unordered_set<long> asked_; // pages asked for and not yet taken
    std::unique_ptr<ReadAhead> reader_; // last: stopped before what its reads use

    std::unordered_map<long, Page> pages_;
    std::list<long> lru_;
};

} // namespace engine
