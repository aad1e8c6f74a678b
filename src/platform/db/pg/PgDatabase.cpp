#include "PgDatabase.h"
#include "platform/db/SqlText.h"

#include "PgChangeFeed.h"
#include "PgQuery.h"
#include "PgRecordset.h"
#include "platform/db/EngineMessages.h"

#include <algorithm>
#include <cctype>
#include <set>

namespace engine {

namespace {

constexpr std::size_t kMaxReaders = 4;

} // namespace

std::shared_ptr<Database> Database::openServer(const std::string& conninfo, const std::string& user,
                                               const std::string& password, bool readOnly) {
    return PgDatabase::connect(PgLogOn{conninfo, user, password, readOnly});
}

PgDatabase::PgDatabase(const PgLogOn& logOn)
    : logOn_(logOn), conn_(std::make_unique<PgConnection>(logOn)) {
    name_ = conn_->where();
}

PgDatabase::~PgDatabase() = default;

std::shared_ptr<PgDatabase> PgDatabase::connect(const PgLogOn& logOn) {
    std::shared_ptr<PgDatabase> d(new PgDatabase(logOn));
    // The collection's own table says that this database is one: any
    // other database on the server is refused as a file of another
    // format is.
    PgResult r = d->conn_->tryExec("SELECT value FROM quarzel_meta WHERE key = 'identity'");
    if (!r.ok()) {
        if (r.state() == "42P01")
            throw EngineError(err::UnrecognizedFormat,
                              "Unrecognized database format '" + d->name_ +
                                  "': the database holds no collection. It is made ready with "
                                  "quarzel-db server-init.");
        throw d->conn_->error(r, PgConnection::Access::Open, {}, {});
    }
    d->readNames();
    d->counts_ = d->columns_.count("quarzel_counts") > 0;
    return d;
}

void PgDatabase::readNames() {
    // The columns of every table in the account's schema, in their order,
    // whatever its rights: a table it may not read is refused as such.
    PgResult r = conn_->exec(
        "SELECT c.relname, a.attname, format_type(a.atttypid, a.atttypmod) FROM pg_class c "
        "JOIN pg_namespace n ON n.oid = c.relnamespace JOIN pg_attribute a ON a.attrelid = "
        "c.oid WHERE n.nspname = current_schema() AND c.relkind = 'r' AND a.attnum > 0 AND NOT "
        "a.attisdropped ORDER BY c.relname, a.attnum",
        {}, PgConnection::Access::Open);
    std::set<std::string> notText;
    for (int i = 0; i < r.rows(); ++i) {
        const std::string table = r.text(i, 0);
        Column c;
        c.name = r.text(i, 1);
        const std::string type = r.text(i, 2);
        c.numeric = type == "double precision" || type == "numeric" || type == "integer" ||
                    type == "bigint" || type == "real" || type == "smallint";
        c.key = c.name == "ID";
        names_.byLower[asciiLower(table)] = table;
        names_.byLower[asciiLower(c.name)] = c.name;
        if (type == "text")
            names_.text.insert(asciiLower(c.name));
        else
            notText.insert(asciiLower(c.name));
        columns_[asciiLower(table)].push_back(std::move(c));
    }
    // A name is compared folded only where it is text in every table that
    // has it: the values' number column "value" is no text for being the
    // name of the settings' text column.
    for (const std::string& name : notText)
        names_.text.erase(name);
}

std::string PgDatabase::translate(const std::string& sql, PgDialect::Options options) const {
    return PgDialect::translate(sql, names_, options);
}

std::string PgDatabase::tableCountSql(const std::string& table) const {
    if (!counts_)
        return {};
    std::string name;
    for (char c : tableName(table)) {
        name += c;
        if (c == '\'')
            name += '\'';
    }
    return "SELECT coalesce(sum(n), 0) FROM quarzel_counts WHERE table_name = '" + name + "'";
}

std::string PgDatabase::tableName(const std::string& table) const {
    const auto it = columns_.find(asciiLower(table));
    if (it == columns_.end())
        throw msg::tableNotFound(table);
    return names_.byLower.at(asciiLower(table));
}

bool PgDatabase::hasRight(const std::string& table, const char* right) {
    const std::string key = asciiLower(table) + "/" + right;
    const auto it = rights_.find(key);
    if (it != rights_.end())
        return it->second;
    PgResult r = conn_->exec("SELECT has_table_privilege(current_user, $1, $2)",
                             {PgDialect::quote(tableName(table)), std::string(right)});
    const bool granted = r.rows() == 1 && std::string(r.text(0, 0)) == "t";
    return rights_[key] = granted;
}

std::shared_ptr<Database> PgDatabase::openAnother(bool readOnly) const {
    PgLogOn logOn = logOn_;
    logOn.readOnly = readOnly || logOn_.readOnly;
    return connect(logOn);
}

std::unique_ptr<Recordset> PgDatabase::OpenRecordset(const std::string& sql, bool readOnly,
                                                     bool waitForFirstScreen) {
    return std::unique_ptr<Recordset>(
        new PgRecordset(shared_from_this(), sql, readOnly || logOn_.readOnly, waitForFirstScreen));
}

std::unique_ptr<Cursor> PgDatabase::prepareCursor(const std::string& sql) {
    return std::make_unique<PgQuery>(*this, sql);
}

const std::vector<Database::Column>& PgDatabase::columns(const std::string& table) {
    const auto it = columns_.find(asciiLower(table));
    if (it == columns_.end())
        throw msg::tableNotFound(table);
    return it->second;
}

std::unique_ptr<ChangeFeed> PgDatabase::listen() {
    PgLogOn logOn = logOn_;
    logOn.readOnly = true;
    return std::make_unique<PgChangeFeed>(logOn);
}

void PgDatabase::Begin() {
    conn_->exec("BEGIN", {}, PgConnection::Access::Write);
}

void PgDatabase::Commit() {
    conn_->exec("COMMIT", {}, PgConnection::Access::Write);
}

void PgDatabase::Rollback() {
    values_.forget(); // ids it added are gone with it
    bulk_.clear();
    if (conn_->inTransaction())
        conn_->tryExec("ROLLBACK");
}

void PgDatabase::addValues(const std::string& table, std::int64_t sample,
                           const std::vector<SampleValue>& values) {
    values_.add(table, sample, values);
}

void PgDatabase::addValuesOfRows(const std::string& table,
                                 const std::vector<SampleValues>& samples) {
    values_.add(table, samples);
}

void PgDatabase::readValues(const std::string& table, const std::string& where,
                            const std::function<bool(const StoredValue&)>& each) {
    values_.read(table, where, each);
}

void PgDatabase::readSomeValues(const std::string& table, const std::string& where,
                                const std::vector<std::string>& analytes,
                                const std::function<bool(const StoredValue&)>& each) {
    if (analytes.empty())
        return; // none asked for
    values_.read(table, where, each, analytes);
}

void PgDatabase::readSomeValuesBetween(const std::string& table, KeyRange keys,
                                       const std::vector<std::string>& analytes,
                                       const std::function<bool(const StoredValue&)>& each) {
    if (analytes.empty() || keys.first > keys.last)
        return; // none asked for
    values_.read(table, {}, each, analytes, &keys);
}

std::vector<Database::AnalyteCount> PgDatabase::analytes(const std::string& table) {
    return values_.analytes(table);
}

std::vector<Database::AnalyteCount> PgDatabase::analytesHeld(const std::string& table) {
    return values_.analytes(table, false);
}

std::unique_ptr<PgConnection> PgDatabase::takeReader() {
    {
        std::lock_guard<std::mutex> lock(readersMutex_);
        if (!readers_.empty()) {
            auto r = std::move(readers_.back());
            readers_.pop_back();
            return r;
        }
    }
    PgLogOn logOn = logOn_;
    logOn.readOnly = true;
    return std::make_unique<PgConnection>(logOn);
}

void PgDatabase::giveBackReader(std::unique_ptr<PgConnection> reader) {
    if (!reader || reader->broken())
        return;
    if (reader->inTransaction())
        reader->tryExec("ROLLBACK");
    std::lock_guard<std::mutex> lock(readersMutex_);
    if (readers_.size() < kMaxReaders)
        readers_.push_back(std::move(reader));
}

} // namespace engine

namespace engine {

void PgDatabase::beginBulkInsert(const std::string& table) {
    const std::string t = tableName(table);
    if (bulk_.count(t))
        return;
    PgResult kept = conn_->exec("SELECT 1 FROM pg_catalog.pg_proc WHERE proname = "
                                "'quarzel_history_imported'");
    if (kept.rows() == 0)
        return; // a server set up before the history
    PgResult last = conn_->exec("SELECT coalesce(max(\"ID\"), 0) FROM " + PgDialect::quote(t));
    conn_->exec("SELECT pg_catalog.set_config('quarzel.bulk', $1, true)", {t},
                PgConnection::Access::Write);
    bulk_[t] = std::stoll(last.text(0, 0));
}

int PgDatabase::rowsPerInsert(int parametersPerRow) const {
    // libpq reads the description of a statement's parameters (4 bytes
    // each) only up to 30,000 bytes, and drops the connection past it, when
    // the statement is checked (PgQuery); a few hundred rows already make
    // the statements few.
    constexpr int kMaxParameters = 7000;
    return std::max(kMaxParameters / std::max(parametersPerRow, 1), 1);
}

void PgDatabase::endBulkInsert(const std::string& table) {
    const auto it = bulk_.find(tableName(table));
    if (it == bulk_.end())
        return;
    const std::string t = it->first;
    const std::string last = std::to_string(it->second);
    bulk_.erase(it);
    PgResult added = conn_->exec("SELECT coalesce(min(\"ID\"), 0), count(*) FROM " +
                                     PgDialect::quote(t) + " WHERE \"ID\" > $1",
                                 {last});
    conn_->exec("SELECT public.quarzel_history_imported($1, $2, $3)",
                {t, added.text(0, 0), added.text(0, 1)}, PgConnection::Access::Write);
}

} // namespace engine
