#pragma once

#include "ViewSnapshot.h"
#include "platform/db/Value.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace engine {
class Database;
}

// The rows of a view's snapshot for a reader off the user-interface thread
// (an export): in the snapshot's key order, read on a connection of its own
// a page of keys at a time, so that what is written holds exactly the rows
// the window showed, in the order shown, with their values as stored now.
//
// Invariants: used on one thread, never the user-interface thread (every
// read waits for the database); the snapshot's keys are read where they
// are, never copied; one page of rows is held at a time. A row deleted
// since the snapshot was taken is gone() and has no cells.
class SnapshotRows {
public:
    static constexpr long kPageKeys = 400;

    // Opens the connection; throws the engine's description when it cannot.
    explicit SnapshotRows(ViewSnapshot snapshot, long pageKeys = kPageKeys);
    ~SnapshotRows();
    SnapshotRows(const SnapshotRows&) = delete;
    SnapshotRows& operator=(const SnapshotRows&) = delete;

    long count() const { return snapshot_.size(); }
    const std::vector<std::string>& fieldNames();
    bool gone(long row);
    // Throws the engine's description of why the row cannot be read; a row
    // gone throws NoCurrentRecord.
    const engine::Value& cell(long row, int column);

    // The connection the rows are read on: for reads that go with them.
    std::shared_ptr<engine::Database> database() const { return db_; }

private:
    void readPage(long row);

    ViewSnapshot snapshot_;
    long pageKeys_;
    std::shared_ptr<engine::Database> db_;
    std::vector<std::string> names_;
    bool named_ = false;
    long first_ = -1;                              // the snapshot's place of the page's first row
    std::vector<std::vector<engine::Value>> rows_; // in the snapshot's order
    std::vector<bool> found_;
};
