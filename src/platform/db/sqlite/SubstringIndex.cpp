#include "SubstringIndex.h"

#include "SqliteDatabase.h"
#include "Statement.h"
#include "platform/db/EngineError.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <string_view>

namespace engine {

namespace {

// Whether the index names few enough rows to be worth it: for a term found
// in many rows the ordinary scan is faster than the index, so the index is
// asked for no more than a few hundred rows before it is used.
bool selective(SqliteDatabase& db, const std::string& matching) {
    constexpr int kFew = 500;
    try {
        Statement few = db.prepareUser(
            "SELECT count(*) FROM (" + matching + " LIMIT " + std::to_string(kFew) + ")", {});
        return sqlite3_step(few.get()) == SQLITE_ROW && sqlite3_column_int64(few.get(), 0) < kFew;
    } catch (const EngineError&) {
        return false; // a damaged index: not used
    }
}

} // namespace

std::string narrowedBySubstringIndex(SqliteDatabase& db, const std::string& table,
                                     const std::string& fromClause) {
    std::string lower = fromClause;
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const char* column : {"rockname", "geologist", "date", "location", "doziro sample#"}) {
        const std::string head = "[" + std::string(column) + "] like '*";
        for (std::size_t at = lower.find(head); at != std::string::npos;
             at = lower.find(head, at + 1)) {
            const std::size_t from = at + head.size();
            const std::size_t close = lower.find('\'', from);
            if (close == std::string::npos || close < from + 4 || lower[close - 1] != '*')
                continue;
            const std::string term = fromClause.substr(from, close - 1 - from);
            const bool plain = std::all_of(term.begin(), term.end(), [](char c) {
                return c >= 0x20 && c < 0x7F &&
                       std::string_view("\"'*?#[]\\").find(c) == std::string_view::npos;
            });
            if (!plain || term.size() < 3 || !db.hasTrigram(table))
                continue;
            const std::string condition = fromClause.substr(at, close + 1 - at);
            const std::string index = "[" + table + "_trigram]";
            // Every row holding all of the term's three-character runs, in
            // any column: the candidates, which the condition then checks.
            // (An index that keeps no positions cannot match phrases or
            // columns; one that does answers the same way.)
            std::string runs;
            for (std::size_t i = 0; i + 3 <= term.size(); ++i) {
                const std::string run = "\"" + term.substr(i, 3) + "\"";
                if (runs.find(run) == std::string::npos)
                    runs += (runs.empty() ? "" : " AND ") + run;
            }
            const std::string matching =
                "SELECT rowid FROM " + index + " WHERE " + index + " MATCH '" + runs + "'";
            if (!selective(db, matching))
                return {};
            return fromClause.substr(0, at) + "([ID] IN (" + matching + ") And " + condition + ")" +
                   fromClause.substr(close + 1);
        }
    }
    return {};
}

} // namespace engine
