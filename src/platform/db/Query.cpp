#include "Query.h"

#include "Cursor.h"
#include "Database.h"

namespace engine {

Query::Query(Database& db, const std::string& sql) : cursor_(db.prepareCursor(sql)) {}
Query::~Query() = default;

bool Query::next() {
    return cursor_->next();
}
int Query::columnCount() const {
    return cursor_->columnCount();
}
std::int64_t Query::integer(int column) const {
    return cursor_->integer(column);
}
double Query::number(int column) const {
    return cursor_->number(column);
}
Value Query::value(int column) const {
    return cursor_->value(column);
}
void Query::bindNumber(int parameter, double value) {
    cursor_->bindNumber(parameter, value);
}
void Query::bindText(int parameter, const std::string& value) {
    cursor_->bindText(parameter, value);
}
void Query::bindNull(int parameter) {
    cursor_->bindNull(parameter);
}
void Query::execute() {
    cursor_->execute();
}

} // namespace engine
