#include "SnapshotRows.h"

#include "platform/db/Database.h"
#include "platform/db/EngineError.h"
#include "platform/db/Recordset.h"
#include "platform/db/SqlText.h"

#include <algorithm>
#include <unordered_map>
#include <utility>

SnapshotRows::SnapshotRows(ViewSnapshot snapshot, long pageKeys)
    : snapshot_(std::move(snapshot)), pageKeys_(std::max(1L, pageKeys)) {
    if (!snapshot_.database)
        throw engine::EngineError(91, "Object variable or With block variable not set.");
    db_ = snapshot_.database->openAnother(true);
}

SnapshotRows::~SnapshotRows() = default;

const std::vector<std::string>& SnapshotRows::fieldNames() {
    if (!named_) {
        if (count() > 0) {
            readPage(0);
        } else {
            // Nothing to read: the names are the table's columns, as a
            // record set of it has them.
            for (const auto& c : db_->columns(snapshot_.table))
                names_.push_back(c.name);
            named_ = true;
        }
    }
    return names_;
}

bool SnapshotRows::gone(long row) {
    readPage(row);
    return !found_[static_cast<std::size_t>(row - first_)];
}

const engine::Value& SnapshotRows::cell(long row, int column) {
    readPage(row);
    const auto at = static_cast<std::size_t>(row - first_);
    const auto& cells = rows_[at];
    if (!found_[at])
        throw engine::EngineError(engine::err::NoCurrentRecord, "No current record.");
    if (column < 0 || column >= static_cast<int>(cells.size()))
        throw engine::EngineError(engine::err::SubscriptOutOfRange,
                                  "Item not found in this collection.");
    return cells[static_cast<std::size_t>(column)];
}

void SnapshotRows::readPage(long row) {
    if (row < 0 || row >= count())
        throw engine::EngineError(engine::err::NoCurrentRecord, "No current record.");
    const long first = row / pageKeys_ * pageKeys_;
    if (first == first_)
        return;
    const long end = std::min(count(), first + pageKeys_);
    const engine::KeySpan keys = snapshot_.keys();
    // The keys are integers: written into the text as they are, the same
    // statement on both back ends. The rows come in the table's order and
    // are put back in the snapshot's.
    std::string sql = "SELECT * FROM " + engine::bracket(snapshot_.table) + " WHERE [ID] IN (";
    std::unordered_map<std::int64_t, std::size_t> place;
    place.reserve(static_cast<std::size_t>(end - first));
    for (long i = first; i < end; ++i) {
        const std::int64_t key = keys[static_cast<std::size_t>(i)];
        if (i > first)
            sql += ", ";
        sql += std::to_string(key);
        place.emplace(key, static_cast<std::size_t>(i - first));
    }
    sql += ")";
    first_ = -1; // nothing held should the reading fail
    auto rs = db_->OpenRecordset(sql, true);
    if (!named_) {
        names_ = rs->FieldNames();
        named_ = true;
    }
    rows_.assign(static_cast<std::size_t>(end - first), {});
    found_.assign(static_cast<std::size_t>(end - first), false);
    const int columns = rs->FieldCount();
    const long read = rs->RecordCount();
    for (long r = 0; r < read; ++r) {
        const auto it = place.find(rs->keyAt(r));
        if (it == place.end())
            continue;
        auto& cells = rows_[it->second];
        cells.reserve(static_cast<std::size_t>(columns));
        for (int c = 0; c < columns; ++c)
            cells.push_back(rs->valueAt(r, c));
        found_[it->second] = true;
    }
    first_ = first;
}
