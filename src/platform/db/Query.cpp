#include "Query.h"

#include "Database.h"
#include "Statement.h"

#include <sqlite3.h>

#include <limits>

namespace engine {

struct Query::State {
    Statement statement;
};

Query::Query(Database& db, const std::string& sql)
    : db_(db), sql_(sql), state_(std::make_unique<State>()) {
    state_->statement = db.prepareUser(sql, sql);
}

Query::~Query() = default;

bool Query::next() {
    const int rc = sqlite3_step(state_->statement.get());
    if (rc == SQLITE_ROW)
        return true;
    if (rc != SQLITE_DONE)
        db_.fail(rc, sql_, Database::Access::Read);
    return false;
}

int Query::columnCount() const {
    return sqlite3_column_count(state_->statement.get());
}

std::int64_t Query::integer(int column) const {
    return sqlite3_column_int64(state_->statement.get(), column);
}

double Query::number(int column) const {
    sqlite3_stmt* s = state_->statement.get();
    const int type = sqlite3_column_type(s, column);
    return type == SQLITE_INTEGER || type == SQLITE_FLOAT
               ? sqlite3_column_double(s, column)
               : std::numeric_limits<double>::quiet_NaN();
}

void Query::bindNumber(int parameter, double value) {
    sqlite3_bind_double(state_->statement.get(), parameter, value);
}

void Query::bindText(int parameter, const std::string& value) {
    sqlite3_bind_text(state_->statement.get(), parameter, value.data(),
                      static_cast<int>(value.size()), SQLITE_TRANSIENT);
}

void Query::bindNull(int parameter) {
    sqlite3_bind_null(state_->statement.get(), parameter);
}

void Query::execute() {
    db_.stepWrite(state_->statement, sql_);
}

} // namespace engine
