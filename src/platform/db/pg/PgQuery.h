#pragma once

#include "PgConnection.h"
#include "platform/db/Cursor.h"

#include <string>

namespace engine {

class PgDatabase;

// A statement of the caller's on the server. Reads go through a cursor
// fetched in steps, so that a whole table is never held at once; the
// account's right to the statement's table is checked when it is prepared,
// as the file's back end does.
class PgQuery : public Cursor {
public:
    PgQuery(PgDatabase& db, const std::string& sql);
    ~PgQuery() override;

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
    void bind(int parameter, std::optional<std::string> value);
    void close();

    PgDatabase& db_;
    std::string sql_;
    std::string serverSql_;
    PgParams params_;
    int columns_ = 0;
    std::string cursor_; // the open cursor's name, if any
    bool ownTransaction_ = false;
    bool write_ = false; // INSERT, UPDATE or DELETE: a RETURNING clause's rows come at once
    bool finished_ = false;
    PgResult batch_;
    int row_ = -1;
};

} // namespace engine
