#pragma once

// An engine record set as the rows an export writes: what the export's
// tests hand it, in the set's order, read where they are.

#include "exchange/ViewExport.h"
#include "platform/db/Recordset.h"

class RecordsetRows : public ViewExport::Rows {
public:
    explicit RecordsetRows(engine::Recordset& rs) : rs_(rs) {}
    long count() override { return rs_.RecordCount(); }
    const std::vector<std::string>& fieldNames() override { return rs_.FieldNames(); }
    const engine::Value& cell(long row, int column) override { return rs_.valueAt(row, column); }

private:
    engine::Recordset& rs_;
};

// The set written to path, as Export View writes a view.
inline long exportRows(engine::Recordset& rs, const std::string& path) {
    RecordsetRows rows(rs);
    return ViewExport::write(rows, path);
}
