#include "ServerInit.h"

#include "TabText.h"

#include "SampleData.h"
#include "platform/db/Database.h"
#include "platform/db/EngineError.h"
#include "platform/db/Query.h"
#include "platform/db/Workgroup.h"
#include "platform/db/pg/PgConnection.h"
#include "platform/db/pg/PgDialect.h"
#include "schema/Schema.h"
#include "schema/ServerSchema.h"

#include <cctype>
#include <charconv>
#include <filesystem>
#include <map>
#include <optional>
#include <ostream>
#include <strings.h>
#include <tuple>

namespace {

using engine::EngineError;
using engine::PgConnection;
using engine::PgDialect::quote;

void refuse(const std::string& why) {
    throw EngineError(engine::err::CannotOpen, why);
}

// The server's database must fold letters as the program's Like does.
void checkDatabase(PgConnection& pg) {
    engine::PgResult r = pg.exec("SELECT pg_encoding_to_char(encoding), datctype FROM "
                                 "pg_database WHERE datname = current_database()");
    const std::string encoding = r.text(0, 0), ctype = r.text(0, 1);
    if (encoding != "UTF8")
        refuse("The database on the server stores text as " + encoding +
               "; the collection needs UTF8. Create the database with: createdb "
               "--encoding=UTF8 --locale=C.UTF-8 --template=template0 NAME");
    if (ctype == "C" || ctype == "POSIX")
        refuse("The database on the server folds only plain letters (LC_CTYPE " + ctype +
               "); searches would miss accented names. Create the database with: createdb "
               "--encoding=UTF8 --locale=C.UTF-8 --template=template0 NAME");
    if (pg.tryExec("SELECT 1 FROM quarzel_meta").ok())
        refuse("The database on the server already holds a collection; nothing was changed.");
}

long copyTable(engine::Database& file, PgConnection& pg, const std::string& table,
               std::ostream& report) {
    std::string columns;
    for (int i = 0; i < schema::kColumnCount; ++i)
        columns += (i ? ", " : "") + quote(schema::kColumns[static_cast<std::size_t>(i)]);
    engine::PgResult start(
        PQexec(pg.handle(), ("COPY " + quote(table) + " (" + columns + ") FROM STDIN").c_str()));
    if (PQresultStatus(start.get()) != PGRES_COPY_IN)
        throw pg.error(start, PgConnection::Access::Write, "COPY " + table, {});
    engine::Query q(file, "SELECT * FROM [" + table + "] ORDER BY [ID]");
    std::map<std::string, long> textInNumbers;
    std::string out;
    long rows = 0;
    auto flush = [&] {
        if (PQputCopyData(pg.handle(), out.data(), static_cast<int>(out.size())) != 1)
            refuse("The server stopped taking rows: " + std::string(PQerrorMessage(pg.handle())));
        out.clear();
    };
    while (q.next()) {
        for (int c = 0; c < schema::kColumnCount; ++c) {
            if (c)
                out += '\t';
            const engine::Value v = q.value(c);
            if (v.isNull()) {
                out += "\\N";
            } else if (c >= schema::kFirstAnalysisColumn && !v.isNumber()) {
                // A number column holding text (the file's 'Empty' default)
                // has no number to give: Null, and said so below.
                ++textInNumbers[schema::kColumns[static_cast<std::size_t>(c)] +
                                std::string(" held '") + v.toText() + "'"];
                out += "\\N";
            } else {
                appendTabText(out, v.storedText());
            }
        }
        out += '\n';
        ++rows;
        if (out.size() > (1 << 20))
            flush();
    }
    flush();
    if (PQputCopyEnd(pg.handle(), nullptr) != 1)
        refuse("The server did not take the rows of " + table + ".");
    engine::PgResult end(PQgetResult(pg.handle()));
    while (PGresult* more = PQgetResult(pg.handle()))
        PQclear(more);
    if (!end.ok())
        throw pg.error(end, PgConnection::Access::Write, "COPY " + table, {});
    report << table << ": " << rows << " rows\n";
    for (const auto& [what, n] : textInNumbers)
        report << "  " << n << " rows: " << what << ", stored as Null (no number)\n";
    return rows;
}

// Rows in COPY's text format, sent in large pieces.
class CopyIn {
public:
    CopyIn(PgConnection& pg, const std::string& sql) : pg_(pg), sql_(sql) {
        engine::PgResult start(PQexec(pg.handle(), sql.c_str()));
        if (PQresultStatus(start.get()) != PGRES_COPY_IN)
            throw pg.error(start, PgConnection::Access::Write, sql, {});
    }
    std::string& out() { return out_; }
    void lineDone() {
        if (out_.size() > (1 << 20))
            flush();
    }
    void end() {
        flush();
        if (PQputCopyEnd(pg_.handle(), nullptr) != 1)
            refuse("The server did not take the rows of " + sql_ + ".");
        engine::PgResult end(PQgetResult(pg_.handle()));
        while (PGresult* more = PQgetResult(pg_.handle()))
            PQclear(more);
        if (!end.ok())
            throw pg_.error(end, PgConnection::Access::Write, sql_, {});
    }

private:
    void flush() {
        if (PQputCopyData(pg_.handle(), out_.data(), static_cast<int>(out_.size())) != 1)
            refuse("The server stopped taking rows: " + std::string(PQerrorMessage(pg_.handle())));
        out_.clear();
    }
    PgConnection& pg_;
    std::string sql_;
    std::string out_;
};

void appendNumber(std::string& out, const std::optional<double>& v) {
    if (!v) {
        out += "\\N";
        return;
    }
    char buf[40];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, *v);
    out.append(buf, ec == std::errc() ? end : buf);
}

void appendTextOrNull(std::string& out, const std::string& text) {
    if (text.empty())
        out += "\\N";
    else
        appendTabText(out, text);
}

// The dictionaries' ids as the server will have them: the file's values
// are copied with ids given here, the dictionaries after them.
struct Dictionaries {
    std::map<std::tuple<std::string, std::string, std::string>, long> channels;
    std::map<std::string, long> references;
};

long copyValues(engine::Database& file, PgConnection& pg, const std::string& table,
                Dictionaries& dict, std::ostream& report) {
    CopyIn copy(pg, "COPY " + quote(schema::server::valuesTable(table)) +
                        " (sample, channel, qualifier, value, text, uncertainty, reference) "
                        "FROM STDIN");
    long values = 0;
    file.readValues(table, {}, [&](const engine::StoredValue& s) {
        const engine::SampleValue& v = s.value;
        const auto channel = dict.channels
                                 .try_emplace({v.analyte, v.unit, v.method},
                                              static_cast<long>(dict.channels.size()) + 1)
                                 .first->second;
        std::string& out = copy.out();
        out += std::to_string(s.sample) + '\t' + std::to_string(channel) + '\t';
        appendTextOrNull(out, v.qualifier ? std::string(1, v.qualifier) : std::string());
        out += '\t';
        appendNumber(out, v.value);
        out += '\t';
        appendTextOrNull(out, v.text);
        out += '\t';
        appendNumber(out, v.uncertainty);
        out += '\t';
        if (v.reference.empty())
            out += "\\N";
        else
            out += std::to_string(
                dict.references
                    .try_emplace(v.reference, static_cast<long>(dict.references.size()) + 1)
                    .first->second);
        out += '\n';
        copy.lineDone();
        ++values;
        return true;
    });
    copy.end();
    report << table << ": " << values << " values\n";
    return values;
}

void copyDictionaries(PgConnection& pg, const Dictionaries& dict) {
    {
        CopyIn copy(pg, "COPY public.quarzel_channel (code, analyte, unit, method) FROM STDIN");
        for (const auto& [key, id] : dict.channels) {
            std::string& out = copy.out();
            out += std::to_string(id) + '\t';
            appendTabText(out, std::get<0>(key));
            out += '\t';
            appendTabText(out, std::get<1>(key));
            out += '\t';
            appendTabText(out, std::get<2>(key));
            out += '\n';
            copy.lineDone();
        }
        copy.end();
    }
    {
        CopyIn copy(pg, "COPY public.quarzel_reference (code, text) FROM STDIN");
        for (const auto& [text, id] : dict.references) {
            std::string& out = copy.out();
            out += std::to_string(id) + '\t';
            appendTabText(out, text);
            out += '\n';
            copy.lineDone();
        }
        copy.end();
    }
    // New ids start after those copied.
    for (const char* t : schema::server::kDictionaries)
        pg.exec(std::string("SELECT setval(pg_get_serial_sequence('public.") + t +
                    "', 'code'), coalesce((SELECT max(code) FROM public." + t + "), 0) + 1, false)",
                {}, PgConnection::Access::Write);
}

// Each right given or taken is said on the report, a line each.
void grant(PgConnection& pg, std::ostream& report, const std::string& rights,
           const std::string& kind, const std::string& object, const std::string& role) {
    pg.exec("GRANT " + rights + " ON " + kind + " " + quote(object) + " TO " + quote(role), {},
            PgConnection::Access::Write);
    std::string shown = kind;
    for (char& c : shown)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    report << "granted " << role << ": " << rights << " on " << shown << " " << object << "\n";
}

void grantMember(PgConnection& pg, std::ostream& report, const std::string& group,
                 const std::string& role) {
    pg.exec("GRANT " + quote(group) + " TO " + quote(role), {}, PgConnection::Access::Write);
    report << "granted " << role << ": member of " << group << "\n";
}

// A role of the collection's that logs on as nobody and may do nothing
// but what is granted to it; one already there is brought back to that.
void groupRole(PgConnection& pg, const std::string& name, std::ostream& report) {
    const char* attributes =
        " NOLOGIN NOSUPERUSER NOCREATEDB NOCREATEROLE NOREPLICATION NOBYPASSRLS";
    engine::PgResult there = pg.exec("SELECT 1 FROM pg_roles WHERE rolname = $1", {name});
    pg.exec((there.rows() ? "ALTER ROLE " : "CREATE ROLE ") + quote(name) + attributes, {},
            PgConnection::Access::Write);
    report << "role " << name << (there.rows() ? " (already there)" : "") << ": no log-on\n";
}

// What no account is given by being on the server: the collection's
// database is for the reader's members alone, and no account makes
// objects of its own there, temporary ones included.
void revokePublic(PgConnection& pg, const std::string& database, std::ostream& report) {
    pg.exec("REVOKE ALL ON DATABASE " + quote(database) + " FROM PUBLIC", {},
            PgConnection::Access::Write);
    report << "revoked PUBLIC: CONNECT, CREATE, TEMP on database " << database << "\n";
    pg.exec("REVOKE CREATE ON SCHEMA public FROM PUBLIC", {}, PgConnection::Access::Write);
    report << "revoked PUBLIC: CREATE on schema public\n";
    for (const char* f : schema::server::kFunctions) {
        pg.exec(std::string("REVOKE EXECUTE ON FUNCTION public.") + f + " FROM PUBLIC", {},
                PgConnection::Access::Write);
        report << "revoked PUBLIC: EXECUTE on function " << f << "\n";
    }
}

// The rights every account needs to open the collection, held by the
// reader; the owner's, to keep the counts.
void grantCommon(PgConnection& pg, const std::string& database, std::ostream& report) {
    const std::string reader = schema::server::kReaderRole, owner = schema::server::kOwnerRole;
    grant(pg, report, "CONNECT", "DATABASE", database, reader);
    grant(pg, report, "USAGE", "SCHEMA", "public", reader);
    grant(pg, report, "SELECT", "TABLE", "quarzel_meta", reader);
    grant(pg, report, "SELECT", "TABLE", "quarzel_counts", reader);
    for (const char* d : schema::server::kDictionaries)
        grant(pg, report, "SELECT", "TABLE", d, reader);
    grant(pg, report, "USAGE", "SCHEMA", "public", owner);
    // The counts are added to, and summed now and then (read and removed).
    grant(pg, report, "SELECT, INSERT, DELETE", "TABLE", "quarzel_counts", owner);
    grant(pg, report, "SELECT", "TABLE", "quarzel_meta", owner); // how much change log to keep
    grant(pg, report, "SELECT", "TABLE", "quarzel_history_tables", owner);
    // Any account may say that its own inserts were one import.
    pg.exec(std::string("GRANT EXECUTE ON FUNCTION public.") + schema::server::kImportedFunction +
                " TO " + quote(reader),
            {}, PgConnection::Access::Write);
    report << "granted " << reader << ": EXECUTE on function " << schema::server::kImportedFunction
           << "\n";
    // The history is written by its function alone, with the owner's rights.
    for (const char* table : schema::kTables) {
        for (const std::string& h : schema::server::historyTables(table))
            grant(pg, report, "INSERT", "TABLE", h, owner);
        // An entry's number comes back from its insert (RETURNING reads).
        grant(pg, report, "SELECT", "TABLE", schema::server::historyTables(table)[0], owner);
        grant(pg, report, "SELECT", "TABLE", schema::server::valuesTable(table), owner);
        grant(pg, report, "SELECT, INSERT, DELETE", "TABLE", schema::server::changesTable(table),
              owner);
    }
}

void grantAccounts(PgConnection& pg, const std::vector<engine::Workgroup::Account>& accounts,
                   std::ostream& report) {
    for (const auto& a : accounts) {
        if (strcasecmp(a.name.c_str(), SampleData::kUser) == 0) {
            report << "account " << a.name
                   << ": the program's own, for the file alone; on the server everyone logs on "
                      "with an account of their own\n";
            continue;
        }
        engine::PgResult there = pg.exec("SELECT 1 FROM pg_roles WHERE rolname = $1", {a.name});
        if (there.rows() == 0)
            pg.exec("CREATE ROLE " + quote(a.name) + " LOGIN", {}, PgConnection::Access::Write);
        report << "role " << a.name << (there.rows() ? " (already there)" : "") << "\n";
        grantMember(pg, report, schema::server::kReaderRole, a.name);
        bool addsValues = false;
        for (const char* table : schema::kTables) {
            auto it = a.tables.end();
            for (auto t = a.tables.begin(); t != a.tables.end(); ++t)
                if (strcasecmp(t->first.c_str(), table) == 0)
                    it = t;
            if (it == a.tables.end())
                continue;
            std::string rights;
            const engine::TablePermissions& p = it->second;
            for (auto [allowed, what] : {std::pair{p.read, "SELECT"},
                                         {p.update, "UPDATE"},
                                         {p.insert, "INSERT"},
                                         {p.remove, "DELETE"}})
                if (allowed)
                    rights += (rights.empty() ? "" : ", ") + std::string(what);
            if (!rights.empty()) {
                grant(pg, report, rights, "TABLE", table, a.name);
                // A table's values have the table's rights.
                grant(pg, report, rights, "TABLE", schema::server::valuesTable(table), a.name);
            }
            // The history and the change log are read with the table's read
            // right.
            if (p.read) {
                for (const std::string& h : schema::server::historyTables(table))
                    grant(pg, report, "SELECT", "TABLE", h, a.name);
                grant(pg, report, "SELECT", "TABLE", schema::server::changesTable(table), a.name);
            }
            if (p.insert) {
                grant(pg, report, "USAGE", "SEQUENCE", schema::server::valuesSequence(table),
                      a.name);
                addsValues = true;
            }
        }
        // Whoever may add rows to a table may add analytes and references.
        if (addsValues) {
            for (const char* d : schema::server::kDictionaries)
                grant(pg, report, "INSERT", "TABLE", d, a.name);
            for (const char* q : schema::server::kDictionarySequences)
                grant(pg, report, "USAGE", "SEQUENCE", q, a.name);
        }
    }
}

} // namespace

void serverInit(const std::string& dir, const std::string& conninfo, std::ostream& report) {
    namespace fs = std::filesystem;
    const std::string workgroupPath = (fs::path(dir) / SampleData::kWorkgroupName).string();
    const engine::Workgroup wg =
        engine::Workgroup::logOn(workgroupPath, SampleData::kUser, SampleData::kPassword);
    const auto accounts = engine::Workgroup::accounts(workgroupPath);
    auto file =
        engine::Database::open((fs::path(dir) / SampleData::kDatabaseName).string(), wg, true);
    PgConnection pg(engine::PgLogOn{conninfo, {}, {}, false});
    checkDatabase(pg);
    // One transaction: a failure anywhere leaves the server as it was.
    pg.tryExec("SET maintenance_work_mem = '1GB'"); // the indexes are built faster
    pg.exec("BEGIN", {}, PgConnection::Access::Write);
    try {
        const std::string database = PQdb(pg.handle());
        groupRole(pg, schema::server::kOwnerRole, report);
        groupRole(pg, schema::server::kReaderRole, report);
        pg.execScript(schema::server::createCommonSql());
        pg.execScript(schema::server::createStoreSql());
        pg.execScript(schema::server::createHistoryFunctionsSql());
        Dictionaries dict;
        pg.exec("INSERT INTO quarzel_meta VALUES ('identity', $1), ('format', '1')",
                {wg.databaseIdentity()}, PgConnection::Access::Write);
        for (const char* table : schema::kTables) {
            pg.exec(schema::server::createTableSql(table), {}, PgConnection::Access::Write);
            copyTable(*file, pg, table, report);
            pg.execScript(schema::server::createIndexesSql(table));
            pg.exec(schema::server::restartKeysSql(table), {}, PgConnection::Access::Write);
            pg.exec(schema::server::createValuesTableSql(table), {}, PgConnection::Access::Write);
            copyValues(*file, pg, table, dict, report);
            pg.execScript(schema::server::createValuesIndexesSql(table));
            pg.execScript(schema::server::createHistorySql(table));
        }
        copyDictionaries(pg, dict);
        revokePublic(pg, database, report);
        grantCommon(pg, database, report);
        grantAccounts(pg, accounts, report);
        pg.exec("COMMIT", {}, PgConnection::Access::Write);
    } catch (...) {
        pg.tryExec("ROLLBACK");
        throw;
    }
    // Statistics for the planner, and the visibility map that lets keys be
    // read from the indexes alone.
    for (const char* table : schema::kTables) {
        pg.tryExec("VACUUM ANALYZE " + quote(table));
        pg.tryExec("VACUUM ANALYZE " + quote(schema::server::valuesTable(table)));
    }
    report << "The collection is on the server. Accounts log on with the server's own "
              "passwords: set them with ALTER ROLE name PASSWORD '...'.\n";
}

void serverGrant(const std::string& conninfo,
                 const std::vector<engine::Workgroup::Account>& accounts, std::ostream& report) {
    PgConnection pg(engine::PgLogOn{conninfo, {}, {}, false});
    pg.exec("BEGIN", {}, PgConnection::Access::Write);
    try {
        grantAccounts(pg, accounts, report);
        pg.exec("COMMIT", {}, PgConnection::Access::Write);
    } catch (...) {
        pg.tryExec("ROLLBACK");
        throw;
    }
}
