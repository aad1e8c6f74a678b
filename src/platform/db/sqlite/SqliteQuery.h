#pragma once

#include "Statement.h"
#include "platform/db/Cursor.h"

#include <string>

namespace engine {

class SqliteDatabase;

// A statement of the caller's on the database file.
class SqliteQuery : public Cursor {
public:
    SqliteQuery(SqliteDatabase& db, const std::string& sql);

    bool next() override;
    int columnCount() const override;
    std::int64_t integer(int column) const override;
    double number(int column) const override;
    Value value(int column) const override;
    void bindNumber(int parameter, double value) override;
    void bindText(int parameter, const std::string& value) override;
    void bindNull(int parameter) override;
    void execute() override;

private:
    SqliteDatabase& db_;
    std::string sql_;
    Statement statement_;
    bool stepped_ = false; // read by next() since the last rewind
    void rewind();
};

} // namespace engine
