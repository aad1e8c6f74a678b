#include "NormColumns.h"

#include "CipwNorm.h"
#include "NormTable.h"

#include <charconv>

namespace norm {

ViewExport::ExtraColumns exportColumns(IronChoice iron) {
    ViewExport::ExtraColumns extra;
    const std::vector<std::string> header = table::header();
    for (std::size_t i = 1; i < header.size(); ++i) // all but ID
        extra.names.push_back("CIPW " + header[i]);
    extra.cells = [iron](const std::vector<engine::Value>& row) {
        const std::vector<std::string> cells =
            table::cells(computeNorm(Analysis::fromRow(row), iron));
        std::vector<engine::Value> out;
        // The command line's text read back as numbers: the export holds
        // what the table shows, to the digit. The name stays text.
        for (std::size_t i = 0; i + 1 < cells.size(); ++i) {
            double x = 0;
            const std::string& c = cells[i];
            // (not strtod: the user's locale may write a decimal comma)
            if (c.empty() || std::from_chars(c.data(), c.data() + c.size(), x).ec != std::errc())
                out.emplace_back();
            else
                out.push_back(engine::Value::real(x));
        }
        out.push_back(engine::Value::text(cells.back()));
        return out;
    };
    return extra;
}

} // namespace norm
