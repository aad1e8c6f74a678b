#pragma once

#include "platform/db/KeyedRecordset.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace engine {

class Statement;

class SqliteDatabase;

// A dynaset on the database file: keys are read on connections of the
// loader's own; rows by key on the owner's connection.
class SqliteRecordset : public KeyedRecordset {
public:
    ~SqliteRecordset() override;

    // AddNew then Update appends a row made of the table's defaults;
    // Update returns the new key.
    std::int64_t Update() override;
    // Removes the current row from the table at once. MoveNext then makes
    // the row after it current.
    void Delete() override;
    void FindFirst(const std::string& criterion) override;
    // Writes changed cells of one row in one statement. Text for a numeric
    // column must be a number written with a point; empty text stores Null.
    RowWrite writeRow(std::int64_t key, const std::string& version, const Changes& changes,
                      long near) override;
    std::string versionAt(long) override { return {}; } // one user's file keeps no versions

private:
    friend class SqliteDatabase;
    SqliteRecordset(std::shared_ptr<SqliteDatabase> db, const std::string& sql, bool readOnly,
                    bool waitForFirstScreen);

    // Starts reading the keys; whole: waits for all of them, not just the
    // first screen.
    void readKeys(const std::string& keySql, std::string countSql, const std::string& shownSql,
                  bool whole);
    EngineError loadingFailure(const KeyLoader::Failure& f) const override;
    const std::vector<Database::Column>& tableColumns() override;
    Page readPage(long page) override;
    bool readPageAtOnce(long first, Page& p);

    std::shared_ptr<SqliteDatabase> db_;
    std::unique_ptr<Statement> rowStmt_;                       // one row by its key
    std::unique_ptr<Statement> pageStmt_;                      // a page's rows by their keys
    std::map<std::string, std::unique_ptr<Statement>> writes_; // by their text
};

} // namespace engine
