// The import's rows written a statement at a time (see ImportBatch.h).
#include "ImportBatch.h"

#include "CsvSource.h"
#include "platform/db/Database.h"
#include "platform/db/Query.h"
#include "platform/db/SqlText.h"
#include "schema/Schema.h"

#include <algorithm>

namespace {

using rowcells::Cell;

constexpr int kCells = schema::kIdColumn; // every column but the key, in table order

// Every column but the key, then the rows' parameters, and the new rows'
// keys; for one row, the statement the import has always made.
std::string insertSql(const std::string& table, std::size_t rows) {
    std::string sql = "INSERT INTO [" + table + "] (";
    for (int c = 0; c < kCells; ++c)
        sql += std::string(c ? ", [" : "[") + schema::kColumns[static_cast<std::size_t>(c)] + "]";
    sql += ") VALUES ";
    int p = 1;
    for (std::size_t r = 0; r < rows; ++r) {
        sql += r ? ", (" : "(";
        for (int c = 0; c < kCells; ++c)
            sql += (c ? ", ?" : "?") + std::to_string(p++);
        sql += ")";
    }
    return sql + " RETURNING [ID]";
}

// A refusal for what a row holds (a value, a rule of the table), rather
// than for the connection, the disk, a lock or a right.
bool rowsFault(int number) {
    return number == engine::err::ConversionError || number == engine::err::NumericOverflow ||
           number == engine::err::Internal;
}

engine::EngineError named(const engine::EngineError& e, const std::string& row) {
    return engine::EngineError(e.number(), row + " of the file cannot be imported: " + e.what() +
                                               " Nothing was imported.");
}

} // namespace

engine::EngineError ImportBatch::Refused::told() const {
    return named(*this,
                 "One of lines " + std::to_string(firstLine) + " to " + std::to_string(lastLine));
}

ImportBatch::ImportBatch(engine::Database& db, const std::string& table, std::string siO2Default,
                         long long* stored, const Refused* retrying)
    : db_(db), table_(table), siO2Default_(std::move(siO2Default)), stored_(stored),
      retrying_(retrying) {
    statementFor(1);
    perStatement_ = static_cast<std::size_t>(std::max(db.rowsPerInsert(kCells), 1));
    rows_.reserve(perStatement_);
}

ImportBatch::~ImportBatch() = default;

engine::Query& ImportBatch::statementFor(std::size_t rows) {
    // A full statement and a single row's are kept for the next run; a
    // shorter one (the last rows, or those before a duplicate is looked
    // for) is made for its one run: a statement's text is long.
    if (rows != 1 && rows != perStatement_) {
        other_ = std::make_unique<engine::Query>(db_, insertSql(table_, rows));
        return *other_;
    }
    auto& q = rows == 1 ? single_ : full_;
    if (!q)
        q = std::make_unique<engine::Query>(db_, insertSql(table_, rows));
    return *q;
}

void ImportBatch::add(const std::vector<Cell>& cells, std::vector<engine::SampleValue> values,
                      long line) {
    const Cell& name = cells[schema::at(schema::Column::SampleNumber)];
    if (name.kind == Cell::Text)
        names_.insert(engine::asciiLower(name.text));
    rows_.push_back({cells, std::move(values), line});
    if (rows_.size() >= perStatement_)
        flush();
}

bool ImportBatch::holds(const std::string& sampleName) const {
    return names_.count(engine::asciiLower(sampleName)) > 0;
}

void ImportBatch::flush() {
    if (rows_.empty())
        return;
    const long statement = statement_++;
    if (retrying_ && retrying_->statement == statement) {
        for (std::size_t i = 0; i < rows_.size(); ++i)
            write(i, 1);
        // Each row went in on its own: what refused them together is gone.
        throw retrying_->told();
    }
    write(0, rows_.size());
    rows_.clear();
    names_.clear();
}

void ImportBatch::write(std::size_t first, std::size_t count) {
    engine::Query& insert = statementFor(count);
    int p = 1;
    for (std::size_t r = first; r < first + count; ++r) {
        for (int c = 0; c < kCells; ++c, ++p) {
            const Cell& cell = rows_[r].cells[static_cast<std::size_t>(c)];
            if (stored_ && cell.kind == Cell::Text)
                ++*stored_;
            if (cell.kind == Cell::Number)
                insert.bindNumber(p, cell.number);
            else if (cell.kind == Cell::Text)
                insert.bindText(p, cell.text);
            else if (c == schema::index(schema::Column::SiO2) && !siO2Default_.empty())
                insert.bindText(p, siO2Default_);
            else
                insert.bindNull(p);
        }
    }
    // A fault of the rows' own names its line, or the statement's lines.
    const auto refused = [&](const engine::EngineError& e) {
        if (!rowsFault(e.number()))
            throw;
        if (count == 1)
            throw named(e, "Line " + std::to_string(rows_[first].line));
        throw Refused(e, statement_ - 1, rows_[first].line, rows_[first + count - 1].line);
    };
    std::vector<std::int64_t> keys;
    keys.reserve(count);
    try {
        while (insert.next()) // to the end of the statement's rows, for its next run
            keys.push_back(insert.integer(0));
    } catch (const engine::EngineError& e) {
        refused(e);
    }
    if (keys.size() != count)
        throw CsvError(CsvError::Code::Unreadable, "The database gave no key for a row written.");
    // The keys count up in the order the statement gives its rows; the
    // order of the rows it returns is not promised.
    std::sort(keys.begin(), keys.end());
    // The rows' values in one call: a server writes many samples' a
    // statement. A refusal of several rows' is found as a row's refusal is.
    std::vector<engine::Database::SampleValues> samples;
    samples.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const Row& row = rows_[first + i];
        if (!row.values.empty())
            samples.emplace_back(keys[i], &row.values);
        if (stored_)
            *stored_ += static_cast<long long>(row.values.size());
    }
    if (!samples.empty()) {
        try {
            db_.addValuesOfRows(table_, samples);
        } catch (const engine::EngineError& e) {
            refused(e);
        }
    }
    written_ += static_cast<long>(count);
}
