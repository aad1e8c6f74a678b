#include "SqliteIntegrity.h"

#include "Statement.h"
#include "platform/db/EngineError.h"
#include "platform/db/SqlText.h"

#include <sqlite3.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>

namespace engine {

namespace {

using State = IntegrityReport::State;

// Rows per read transaction: short enough that a user's save never waits
// noticeably for the check, long enough that its cost is the reading.
constexpr int kSliceRows = 2000;
constexpr int kBusyTries = 5;

std::string textAt(sqlite3_stmt* s, int i) {
    const unsigned char* t = sqlite3_column_text(s, i);
    return t ? reinterpret_cast<const char*>(t) : "";
}

Statement prepare(sqlite3* db, const std::string& sql) {
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) != SQLITE_OK) {
        sqlite3_finalize(s);
        return {};
    }
    return Statement(s);
}

bool exec(sqlite3* db, const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

long long single(sqlite3* db, const std::string& sql, int& rc) {
    Statement s = prepare(db, sql);
    if (!s) {
        rc = sqlite3_errcode(db);
        return -1;
    }
    rc = sqlite3_step(s.get());
    const long long v = rc == SQLITE_ROW ? sqlite3_column_int64(s.get(), 0) : -1;
    if (rc == SQLITE_ROW)
        rc = SQLITE_OK;
    return v;
}

// One index of a table as a lookup: the row's values of its columns and
// its row ID, found in the index alone. A column that holds Null is looked
// up with IS NULL, so there is a statement per pattern of Nulls.
struct IndexLookup {
    std::string name;
    std::vector<int> columns; // positions in "SELECT rowid, *"
    std::vector<std::string> names, collations;
    std::map<std::uint32_t, Statement> statements;

    sqlite3_stmt* statementFor(sqlite3* db, const std::string& table, std::uint32_t nulls) {
        auto it = statements.find(nulls);
        if (it != statements.end())
            return it->second.get();
        std::string sql =
            "SELECT 1 FROM " + bracket(table) + " INDEXED BY " + bracket(name) + " WHERE ";
        for (std::size_t i = 0; i < names.size(); ++i)
            sql +=
                bracket(names[i]) +
                ((nulls >> i) & 1 ? std::string(" IS NULL")
                                  : " = ?" + std::to_string(i + 1) + " COLLATE " + collations[i]) +
                " AND ";
        sql += "rowid = ?" + std::to_string(names.size() + 1);
        return statements.emplace(nulls, prepare(db, sql)).first->second.get();
    }
};

// The plain indexes of a table (partial and expression indexes hold not
// every row as it is, and are left to the counts' check of nothing).
std::vector<IndexLookup> indexesOf(sqlite3* db, const std::string& table) {
    std::vector<std::pair<std::string, bool>> names;
    {
        Statement list = prepare(db, "PRAGMA index_list(" + sqlLiteral(table) + ")");
        while (list && sqlite3_step(list.get()) == SQLITE_ROW)
            names.emplace_back(textAt(list.get(), 1), sqlite3_column_int(list.get(), 4) != 0);
    }
    std::vector<IndexLookup> out;
    for (const auto& [name, partial] : names) {
        if (partial)
            continue;
        IndexLookup ix;
        ix.name = name;
        bool plain = true;
        Statement info = prepare(db, "PRAGMA index_xinfo(" + sqlLiteral(name) + ")");
        while (info && sqlite3_step(info.get()) == SQLITE_ROW) {
            if (sqlite3_column_int(info.get(), 5) == 0)
                continue; // the row ID after the key
            const int cid = sqlite3_column_int(info.get(), 1);
            if (cid < 0) {
                plain = false;
                break;
            }
            ix.columns.push_back(cid + 1);
            ix.names.push_back(textAt(info.get(), 2));
            ix.collations.push_back(textAt(info.get(), 4));
        }
        if (plain && !ix.columns.empty() && ix.columns.size() <= 32)
            out.push_back(std::move(ix));
    }
    return out;
}

class Checker {
public:
    Checker(sqlite3* db, const SqliteIntegrity::Progress& progress)
        : db_(db), progress_(progress) {}

    IntegrityReport run() {
        std::vector<std::pair<std::string, std::string>> tables;
        {
            Statement s = prepare(db_, "SELECT name, coalesce(sql, '') FROM sqlite_master WHERE "
                                       "type = 'table' AND substr(name, 1, 7) <> 'sqlite_'");
            int rc = SQLITE_ROW;
            while (s && (rc = sqlite3_step(s.get())) == SQLITE_ROW)
                tables.emplace_back(textAt(s.get(), 0), textAt(s.get(), 1));
            if (!s || rc != SQLITE_DONE)
                return unreadable("the list of its tables cannot be read (" + message() + ")");
        }
        for (const auto& [name, sql] : tables) {
            int rc = SQLITE_OK;
            const long long last = single(db_, "SELECT max(rowid) FROM " + bracket(name), rc);
            if (rc == SQLITE_OK && last > 0)
                total_ += last;
        }
        for (const auto& [name, sql] : tables) {
            if (sql.rfind("CREATE VIRTUAL TABLE", 0) == 0)
                continue; // its rows are another table's, or its own shadow tables'
            const bool ok = prepare(db_, "SELECT rowid FROM " + bracket(name) + " LIMIT 0")
                                ? checkTable(name)
                                : checkWholeTable(name);
            if (!ok)
                return report_;
        }
        if (report_.state == State::NotChecked)
            report_.state = State::Sound;
        return report_;
    }

private:
    std::string message() const { return sqlite3_errmsg(db_); }

    IntegrityReport unreadable(const std::string& what) {
        report_.add(State::Unreadable, what);
        return report_;
    }

    // Stops the check unfinished: a lock that outlasts every wait, or the
    // caller's stop.
    bool notFinished(const std::string& why) {
        report_.state = State::NotChecked;
        report_.why = why;
        return false;
    }

    bool checkTable(const std::string& table) {
        std::vector<IndexLookup> indexes = indexesOf(db_, table);
        Statement rows = prepare(db_, "SELECT rowid, * FROM " + bracket(table) +
                                          " NOT INDEXED WHERE rowid > ?1 ORDER BY rowid LIMIT " +
                                          std::to_string(kSliceRows));
        if (!rows) {
            report_.add(State::Unreadable,
                        table + ": its rows cannot be read (" + message() + ").");
            return true;
        }
        std::int64_t after = INT64_MIN;
        for (bool more = true; more;) {
            int tries = 0;
            int rc = SQLITE_BUSY;
            long long read = 0;
            std::int64_t lastRow = after;
            while (rc == SQLITE_BUSY && tries++ < kBusyTries) {
                read = 0;
                lastRow = after;
                rc = slice(table, rows.get(), indexes, after, read, lastRow);
            }
            if (rc == SQLITE_BUSY)
                return notFinished("the file was in use all the time");
            if (rc != SQLITE_OK) {
                report_.add(State::Unreadable,
                            table + ": the rows after ID " +
                                (after == INT64_MIN ? std::string("0") : std::to_string(after)) +
                                " cannot be read (" + sqlite3_errstr(rc) + ").");
                return true; // the other tables may still be read
            }
            report_.rowsRead += read;
            more = read == kSliceRows;
            after = lastRow;
            if (progress_ && !progress_(report_.rowsRead, total_))
                return notFinished("it was stopped");
        }
        return compareCounts(table, indexes);
    }

    // Reads one slice of rows in one read transaction, and looks each up in
    // every index. Returns SQLite's code of what stopped it.
    int slice(const std::string& table, sqlite3_stmt* rows, std::vector<IndexLookup>& indexes,
              std::int64_t after, long long& read, std::int64_t& lastRow) {
        if (!exec(db_, "BEGIN"))
            return sqlite3_errcode(db_);
        sqlite3_reset(rows);
        sqlite3_bind_int64(rows, 1, after);
        int rc = SQLITE_OK;
        while ((rc = sqlite3_step(rows)) == SQLITE_ROW) {
            const std::int64_t rowid = sqlite3_column_int64(rows, 0);
            // Every column, overflow pages included, as any later read would.
            for (int c = 1, n = sqlite3_column_count(rows); c < n; ++c)
                if (sqlite3_column_type(rows, c) == SQLITE_TEXT ||
                    sqlite3_column_type(rows, c) == SQLITE_BLOB)
                    (void)sqlite3_column_blob(rows, c);
            for (IndexLookup& ix : indexes) {
                std::uint32_t nulls = 0;
                for (std::size_t i = 0; i < ix.columns.size(); ++i)
                    if (sqlite3_column_type(rows, ix.columns[i]) == SQLITE_NULL)
                        nulls |= 1u << i;
                sqlite3_stmt* look = ix.statementFor(db_, table, nulls);
                if (!look) {
                    rc = sqlite3_errcode(db_);
                    break;
                }
                for (std::size_t i = 0; i < ix.columns.size(); ++i)
                    if (!((nulls >> i) & 1))
                        sqlite3_bind_value(look, static_cast<int>(i + 1),
                                           sqlite3_column_value(rows, ix.columns[i]));
                sqlite3_bind_int64(look, static_cast<int>(ix.columns.size() + 1), rowid);
                const int found = sqlite3_step(look);
                sqlite3_reset(look);
                if (found == SQLITE_DONE)
                    report_.add(State::Damaged, table + ", row ID " + std::to_string(rowid) +
                                                    ": not in the index " + ix.name +
                                                    " (its values may have been altered).");
                else if (found != SQLITE_ROW) {
                    rc = found;
                    break;
                }
            }
            if (rc != SQLITE_ROW)
                break;
            ++read;
            lastRow = rowid;
        }
        sqlite3_reset(rows);
        exec(db_, "COMMIT");
        return rc == SQLITE_DONE || rc == SQLITE_ROW ? SQLITE_OK : rc;
    }

    // An index entry whose row is gone is found by the counts: every row
    // was found in each index, so an index with more entries holds others.
    bool compareCounts(const std::string& table, const std::vector<IndexLookup>& indexes) {
        if (indexes.empty())
            return true;
        for (int tries = 0; tries < kBusyTries; ++tries) {
            if (!exec(db_, "BEGIN"))
                continue;
            int rc = SQLITE_OK;
            const long long rows =
                single(db_, "SELECT count(*) FROM " + bracket(table) + " NOT INDEXED", rc);
            std::vector<std::pair<std::string, long long>> entries;
            for (const IndexLookup& ix : indexes) {
                if (rc != SQLITE_OK)
                    break;
                const std::string from =
                    " FROM " + bracket(table) + " INDEXED BY " + bracket(ix.name);
                const long long set =
                    single(db_, "SELECT count(" + bracket(ix.names[0]) + ")" + from, rc);
                if (rc != SQLITE_OK)
                    break;
                const long long none = single(
                    db_, "SELECT count(*)" + from + " WHERE " + bracket(ix.names[0]) + " IS NULL",
                    rc);
                entries.emplace_back(ix.name, set + none);
            }
            exec(db_, "COMMIT");
            if (rc == SQLITE_BUSY)
                continue;
            if (rc != SQLITE_OK) {
                report_.add(State::Unreadable, table + ": its indexes cannot be read (" +
                                                   std::string(sqlite3_errstr(rc)) + ").");
                return true;
            }
            for (const auto& [name, n] : entries)
                if (n != rows)
                    report_.add(State::Damaged, table + ": the index " + name + " holds " +
                                                    std::to_string(n) + " entries for " +
                                                    std::to_string(rows) + " rows.");
            return true;
        }
        return notFinished("the file was in use all the time");
    }

    // A table without row IDs (small bookkeeping tables) gets SQLite's own
    // check, which reads it and its indexes at once.
    bool checkWholeTable(const std::string& table) {
        Statement s = prepare(db_, "PRAGMA integrity_check(" + sqlLiteral(table) + ")");
        int rc = SQLITE_ROW;
        while (s && (rc = sqlite3_step(s.get())) == SQLITE_ROW) {
            const std::string line = textAt(s.get(), 0);
            if (line != "ok")
                report_.add(State::Damaged, table + ": " + line);
        }
        if (rc == SQLITE_BUSY)
            return notFinished("the file was in use all the time");
        if (!s || rc != SQLITE_DONE)
            report_.add(State::Unreadable, table + ": it cannot be read (" + message() + ").");
        return true;
    }

    sqlite3* db_;
    const SqliteIntegrity::Progress& progress_;
    IntegrityReport report_;
    long long total_ = 0;
};

} // namespace

IntegrityReport SqliteIntegrity::check(sqlite3* db, const Progress& progress) {
    return Checker(db, progress).run();
}

void SqliteIntegrity::repair(sqlite3* db, const std::string& copyPath) {
    // The copy first, page by page (a change another user makes meanwhile
    // starts it again): a connection cannot copy a file it is writing.
    sqlite3* copy = nullptr;
    int rc = sqlite3_open_v2(copyPath.c_str(), &copy, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                             nullptr);
    std::unique_ptr<sqlite3, int (*)(sqlite3*)> closeCopy(copy, sqlite3_close);
    if (rc == SQLITE_OK) {
        sqlite3_backup* b = sqlite3_backup_init(copy, "main", db, "main");
        rc = b ? sqlite3_backup_step(b, -1) : sqlite3_errcode(copy);
        const int finished = b ? sqlite3_backup_finish(b) : rc;
        rc = rc == SQLITE_DONE ? finished : rc;
    }
    closeCopy.reset();
    if (rc != SQLITE_OK) {
        std::remove(copyPath.c_str());
        throw EngineError(err::DiskError, "The copy of the file could not be made at '" + copyPath +
                                              "' (" + sqlite3_errstr(rc) +
                                              "): it was not repaired.");
    }
    auto failed = [&](int code, const std::string& text) {
        exec(db, "ROLLBACK");
        std::remove(copyPath.c_str()); // the file itself is as it was
        throw EngineError(code, text);
    };
    if (!exec(db, "BEGIN IMMEDIATE"))
        failed(err::Locked, "The file is in use by another program: it was not repaired. Try "
                            "again when it is not.");
    std::vector<std::string> substring;
    {
        // (LIKE is the program's own on this connection, with its own wildcards.)
        Statement s = prepare(db, "SELECT name FROM sqlite_master WHERE type = 'table' AND "
                                  "substr(sql, 1, 20) = 'CREATE VIRTUAL TABLE' AND "
                                  "instr(sql, 'USING fts5') > 0");
        while (s && sqlite3_step(s.get()) == SQLITE_ROW)
            substring.push_back(textAt(s.get(), 0));
    }
    bool ok = exec(db, "REINDEX");
    for (const std::string& t : substring)
        ok = ok && exec(db, ("INSERT INTO " + bracket(t) + "(" + bracket(t) +
                             ") VALUES "
                             "('rebuild')")
                                .c_str());
    if (!ok || !exec(db, "COMMIT"))
        failed(err::Damaged, "The file cannot be repaired: " + std::string(sqlite3_errmsg(db)) +
                                 ". It is unchanged; restore it from a backup copy.");
}

} // namespace engine
