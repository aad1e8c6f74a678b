#include "SqliteHistory.h"
#include "platform/db/SqlText.h"

#include "SqliteDatabase.h"
#include "Statement.h"
#include "platform/db/EngineError.h"

#include <sqlite3.h>

#include <algorithm>

namespace engine {

namespace {

// Milliseconds in UTC: two changes in one second still read in order.
constexpr const char* kNow = "strftime('%Y-%m-%dT%H:%M:%fZ', 'now')";

bool endsWith(const std::string& s, const std::string& suffix) {
    return s.size() > suffix.size() &&
           s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

} // namespace

bool SqliteHistory::isHistoryTable(const std::string& lowerName, std::string& table) {
    for (const char* suffix : {"_history_columns", "_history_values", "_history"})
        if (endsWith(lowerName, suffix)) {
            table = lowerName.substr(0, lowerName.size() - std::string(suffix).size());
            return true;
        }
    return false;
}

void SqliteHistory::install() {
    std::vector<std::string> tables;
    {
        Statement s = db_.prepareInternal("SELECT name FROM sqlite_master WHERE type = 'table' AND "
                                          "sql NOT LIKE 'CREATE VIRTUAL%' ORDER BY name");
        while (sqlite3_step(s.get()) == SQLITE_ROW) {
            const std::string name = reinterpret_cast<const char*>(sqlite3_column_text(s.get(), 0));
            const std::string l = asciiLower(name);
            std::string owner;
            if (l.starts_with("quarzel_") || l.starts_with("sqlite_") ||
                l.find("_trigram") != std::string::npos || endsWith(l, "_values") ||
                isHistoryTable(l, owner))
                continue;
            tables.push_back(name);
        }
    }
    for (const std::string& table : tables) {
        std::vector<std::string> columns;
        bool keyed = false;
        {
            // The statement's columns are the table's, known once it is prepared.
            Statement s = db_.prepareInternal(("SELECT * FROM " + bracket(table)).c_str());
            for (int i = 0; i < sqlite3_column_count(s.get()); ++i) {
                const std::string c = sqlite3_column_name(s.get(), i);
                if (c == "ID")
                    keyed = true;
                else
                    columns.push_back(c);
            }
        }
        if (!keyed)
            continue;
        if (!tablesThere(table) && !makeTables(table))
            continue; // a file that cannot be written keeps no history, and needs none
        columns_[table] = columns;
        makeTriggers(table, true);
    }
}

bool SqliteHistory::tablesThere(const std::string& table) {
    Statement s = db_.prepareInternal("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND "
                                      "name IN (?1, ?2, ?3) COLLATE NOCASE");
    const std::string names[] = {table + "_history", table + "_history_columns",
                                 table + "_history_values"};
    for (int i = 0; i < 3; ++i)
        sqlite3_bind_text(s.get(), i + 1, names[i].c_str(), -1, SQLITE_TRANSIENT);
    return sqlite3_step(s.get()) == SQLITE_ROW && sqlite3_column_int(s.get(), 0) == 3;
}

// Made once, when a writable connection first opens a file without them.
bool SqliteHistory::makeTables(const std::string& table) {
    const std::string h = bracket(table + "_history");
    const std::string statements[] = {
        "CREATE TABLE IF NOT EXISTS " + h +
            " (entry INTEGER PRIMARY KEY, made TEXT NOT NULL, account TEXT NOT NULL, kind TEXT "
            "NOT NULL, sample INTEGER NOT NULL, row_count INTEGER)",
        "CREATE INDEX IF NOT EXISTS " + bracket(table + "_history_sample") + " ON " + h +
            " (sample, entry)",
        "CREATE TABLE IF NOT EXISTS " + bracket(table + "_history_columns") +
            " (entry INTEGER NOT NULL, name TEXT NOT NULL, before_value, after_value, "
            "PRIMARY KEY (entry, name)) WITHOUT ROWID",
        "CREATE TABLE IF NOT EXISTS " + bracket(table + "_history_values") +
            " (entry INTEGER NOT NULL, seq INTEGER NOT NULL, channel INTEGER NOT NULL, "
            "qualifier TEXT, value REAL, text TEXT, uncertainty REAL, reference INTEGER, "
            "PRIMARY KEY (entry, seq)) WITHOUT ROWID",
    };
    try {
        db_.execInternal("SAVEPOINT quarzel_history");
        for (const std::string& sql : statements)
            db_.execInternal(sql.c_str());
        db_.execInternal("RELEASE quarzel_history");
        return true;
    } catch (const EngineError&) {
        // Ended here, whatever failed: a savepoint left open would hold every
        // later change in a transaction that never commits.
        try {
            db_.execInternal("ROLLBACK TO quarzel_history");
            db_.execInternal("RELEASE quarzel_history");
        } catch (const EngineError&) {
            db_.Rollback();
        }
        return false;
    }
}

std::string SqliteHistory::deleteTrigger(const std::string& table) const {
    const std::vector<std::string>& columns = columns_.at(table);
    const std::string who = sqlLiteral(db_.workgroup_.user());
    std::string sql = "CREATE TEMP TRIGGER " + bracket("quarzel_history_" + table + "_delete") +
                      " BEFORE DELETE ON main." + bracket(table) + " BEGIN INSERT INTO " +
                      bracket(table + "_history") + " (made, account, kind, sample) VALUES (" +
                      kNow + ", " + who + ", 'deleted', OLD.[ID]);";
    std::string rows;
    for (const std::string& c : columns)
        rows += (rows.empty() ? "SELECT " + sqlLiteral(c) + " AS name, OLD." + bracket(c) +
                                    " AS before_value"
                              : " UNION ALL SELECT " + sqlLiteral(c) + ", OLD." + bracket(c));
    // Nulls too: a default never stands in when the row comes back.
    sql += "INSERT INTO " + bracket(table + "_history_columns") +
           " SELECT last_insert_rowid(), name, before_value, NULL FROM (" + rows + ");";
    bool values = false;
    {
        Statement s = db_.prepareInternal(
            "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?1 COLLATE NOCASE");
        const std::string v = table + "_values";
        sqlite3_bind_text(s.get(), 1, v.c_str(), -1, SQLITE_TRANSIENT);
        values = sqlite3_step(s.get()) == SQLITE_ROW;
    }
    if (values)
        sql += "INSERT INTO " + bracket(table + "_history_values") +
               " SELECT last_insert_rowid(), seq, channel, qualifier, value, text, uncertainty, "
               "reference FROM " +
               bracket(table + "_values") + " WHERE sample = OLD.[ID];";
    return sql + " END";
}

void SqliteHistory::makeTriggers(const std::string& table, bool insertToo) {
    const std::vector<std::string>& columns = columns_.at(table);
    const std::string who = sqlLiteral(db_.workgroup_.user());
    const std::string h = bracket(table + "_history");
    const std::string prefix = "quarzel_history_" + table;
    if (insertToo)
        db_.execInternal(("CREATE TEMP TRIGGER IF NOT EXISTS " + bracket(prefix + "_insert") +
                          " AFTER INSERT ON main." + bracket(table) + " BEGIN INSERT INTO " + h +
                          " (made, account, kind, sample) VALUES (" + kNow + ", " + who +
                          ", 'added', NEW.[ID]); END")
                             .c_str());
    // An update that changes nothing makes no entry.
    std::vector<std::string> all{"ID"};
    all.insert(all.end(), columns.begin(), columns.end());
    std::string differs;
    std::string rows;
    for (const std::string& c : all) {
        differs +=
            (differs.empty() ? "OLD." : " OR OLD.") + bracket(c) + " IS NOT NEW." + bracket(c);
        rows += (rows.empty() ? "SELECT " + sqlLiteral(c) + " AS name, OLD." + bracket(c) +
                                    " AS before_value, NEW." + bracket(c) + " AS after_value"
                              : " UNION ALL SELECT " + sqlLiteral(c) + ", OLD." + bracket(c) +
                                    ", NEW." + bracket(c));
    }
    // One statement for every column: an edit's entry costs a few inserts,
    // not one statement per column. The entry is the row just added to the
    // history (the columns' table has no rowid to change it).
    const std::string body = "INSERT INTO " + bracket(table + "_history_columns") +
                             " SELECT last_insert_rowid(), name, before_value, after_value FROM (" +
                             rows + ") WHERE before_value IS NOT after_value;";
    db_.execInternal(("CREATE TEMP TRIGGER IF NOT EXISTS " + bracket(prefix + "_update") +
                      " AFTER UPDATE ON main." + bracket(table) + " WHEN " + differs +
                      " BEGIN INSERT INTO " + h + " (made, account, kind, sample) VALUES (" + kNow +
                      ", " + who + ", 'changed', NEW.[ID]);" + body + " END")
                         .c_str());
    db_.execInternal(("DROP TRIGGER IF EXISTS temp." + bracket(prefix + "_delete")).c_str());
    db_.execInternal(deleteTrigger(table).c_str());
}

void SqliteHistory::valuesTableMade(const std::string& table) {
    for (const auto& [name, columns] : columns_)
        if (asciiLower(name) == asciiLower(table)) {
            const std::string prefix = "quarzel_history_" + name;
            db_.execInternal(
                ("DROP TRIGGER IF EXISTS temp." + bracket(prefix + "_delete")).c_str());
            db_.execInternal(deleteTrigger(name).c_str());
        }
}

void SqliteHistory::beginBulk(const std::string& table) {
    const auto it = std::find_if(columns_.begin(), columns_.end(), [&](const auto& c) {
        return asciiLower(c.first) == asciiLower(table);
    });
    if (it == columns_.end() || bulk_.count(it->first))
        return;
    std::int64_t last = 0;
    {
        Statement s = db_.prepareInternal(
            ("SELECT coalesce(max([ID]), 0) FROM " + bracket(it->first)).c_str());
        if (sqlite3_step(s.get()) == SQLITE_ROW)
            last = sqlite3_column_int64(s.get(), 0);
    }
    db_.execInternal(
        ("DROP TRIGGER IF EXISTS temp." + bracket("quarzel_history_" + it->first + "_insert"))
            .c_str());
    bulk_[it->first] = last;
}

void SqliteHistory::endBulk(const std::string& table) {
    const auto it = std::find_if(bulk_.begin(), bulk_.end(), [&](const auto& b) {
        return asciiLower(b.first) == asciiLower(table);
    });
    if (it == bulk_.end())
        return;
    const std::string name = it->first;
    const std::int64_t last = it->second;
    bulk_.erase(it);
    const std::string t = bracket(name);
    db_.execInternal(("INSERT INTO " + bracket(name + "_history") +
                      " (made, account, kind, sample, row_count) SELECT " + kNow + ", " +
                      sqlLiteral(db_.workgroup_.user()) +
                      ", 'imported', min([ID]), count(*) FROM " + t + " WHERE [ID] > " +
                      std::to_string(last) + " HAVING count(*) > 0")
                         .c_str());
    makeTriggers(name, true);
}

} // namespace engine
