#pragma once

#include "PgConnection.h"
#include "PgDialect.h"
#include "PgValueStore.h"
#include "platform/db/Database.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace engine {

// The shared server's back end: one connection of the owner's, logged on
// with the server's own account; the server's GRANTs are the rights.
// Loading threads take connections of their own from a small pool.
class PgDatabase : public Database, public std::enable_shared_from_this<PgDatabase> {
public:
    static std::shared_ptr<PgDatabase> connect(const PgLogOn& logOn);
    ~PgDatabase() override;

    const std::string& Name() const override { return name_; }
    std::shared_ptr<Database> openAnother(bool readOnly) const override;
    std::unique_ptr<Recordset> OpenRecordset(const std::string& sql, bool readOnly = false,
                                             bool waitForFirstScreen = true) override;
    std::unique_ptr<Cursor> prepareCursor(const std::string& sql) override;
    const std::vector<Column>& columns(const std::string& table) override;

    void Begin() override;
    void Commit() override;
    void Rollback() override;
    // The server keeps its trigram indexes in step with every insert; the
    // rows of a bulk insert make one history entry rather than one each.
    void beginBulkInsert(const std::string& table) override;
    void endBulkInsert(const std::string& table) override;
    int rowsPerInsert(int parametersPerRow) const override;
    std::unique_ptr<ChangeFeed> listen() override;
    void addValues(const std::string& table, std::int64_t sample,
                   const std::vector<SampleValue>& values) override;
    void addValuesOfRows(const std::string& table,
                         const std::vector<SampleValues>& samples) override;
    void readSomeValuesBetween(const std::string& table, KeyRange keys,
                               const std::vector<std::string>& analytes,
                               const std::function<bool(const StoredValue&)>& each) override;
    void readSomeValues(const std::string& table, const std::string& where,
                        const std::vector<std::string>& analytes,
                        const std::function<bool(const StoredValue&)>& each) override;
    void readValues(const std::string& table, const std::string& where,
                    const std::function<bool(const StoredValue&)>& each) override;
    std::vector<AnalyteCount> analytes(const std::string& table) override;
    std::vector<AnalyteCount> analytesHeld(const std::string& table) override;

    PgConnection& connection() { return *conn_; }
    const PgDialect::Names& names() const { return names_; }
    // The statement for the server; throws in the engine's words.
    std::string translate(const std::string& sql, PgDialect::Options options = {}) const;
    // The table's name as the server spells it (bare names match without
    // regard to case); throws when there is no such table.
    std::string tableName(const std::string& table) const;
    // Whether the account may do this ("SELECT", "INSERT", "UPDATE",
    // "DELETE") with the table, as the server's GRANTs say.
    bool hasRight(const std::string& table, const char* right);
    bool readOnly() const { return logOn_.readOnly; }
    // The exact row count of a whole table, from the counts its triggers
    // keep, at once; empty when the database keeps none.
    std::string tableCountSql(const std::string& table) const;

    // Connections for loading threads, kept for the next set once given
    // back; a broken one is dropped. Any thread may take one.
    std::unique_ptr<PgConnection> takeReader();
    void giveBackReader(std::unique_ptr<PgConnection> reader);

private:
    explicit PgDatabase(const PgLogOn& logOn);
    void readNames();

    PgLogOn logOn_;
    std::string name_;
    std::unique_ptr<PgConnection> conn_;
    PgDialect::Names names_;
    std::map<std::string, std::vector<Column>> columns_; // by lower-case table name
    std::map<std::string, bool> rights_;
    bool counts_ = false;                      // whether the tables' counts are kept
    std::map<std::string, std::int64_t> bulk_; // table -> its last key before a bulk insert
    std::mutex readersMutex_;
    std::vector<std::unique_ptr<PgConnection>> readers_;
    PgValueStore values_{*this};
};

} // namespace engine
