#include "SqliteQuery.h"

#include "SqliteDatabase.h"

#include <sqlite3.h>

#include <limits>

namespace engine {

SqliteQuery::SqliteQuery(SqliteDatabase& db, const std::string& sql) : db_(db), sql_(sql) {
    statement_ = db.prepareUser(sql, sql);
}

bool SqliteQuery::next() {
    stepped_ = true;
    const int rc = sqlite3_step(statement_.get());
    if (rc == SQLITE_ROW)
        return true;
    if (rc != SQLITE_DONE)
        db_.fail(rc, sql_, SqliteDatabase::Access::Read);
    return false;
}

int SqliteQuery::columnCount() const {
    return sqlite3_column_count(statement_.get());
}

std::int64_t SqliteQuery::integer(int column) const {
    return sqlite3_column_int64(statement_.get(), column);
}

double SqliteQuery::number(int column) const {
    sqlite3_stmt* s = statement_.get();
    const int type = sqlite3_column_type(s, column);
    return type == SQLITE_INTEGER || type == SQLITE_FLOAT
               ? sqlite3_column_double(s, column)
               : std::numeric_limits<double>::quiet_NaN();
}

Value SqliteQuery::value(int column) const {
    return readColumn(statement_.get(), column);
}

void SqliteQuery::bindNumber(int parameter, double value) {
    rewind();
    sqlite3_bind_double(statement_.get(), parameter, value);
}

void SqliteQuery::bindText(int parameter, const std::string& value) {
    rewind();
    sqlite3_bind_text(statement_.get(), parameter, value.data(), static_cast<int>(value.size()),
                      SQLITE_TRANSIENT);
}

void SqliteQuery::bindNull(int parameter) {
    rewind();
    sqlite3_bind_null(statement_.get(), parameter);
}

// A statement stepped since its last run takes no bindings (they would be
// refused, and the next run would use the old ones): it is rewound first,
// its bindings kept.
void SqliteQuery::rewind() {
    if (stepped_)
        sqlite3_reset(statement_.get());
    stepped_ = false;
}

void SqliteQuery::execute() {
    db_.stepWrite(statement_, sql_);
}

} // namespace engine
