#pragma once

#include "platform/db/Value.h"

#include <atomic>
#include <functional>
#include <string>
#include <vector>

// The rows of a view, in its order, with all of its columns and their
// names as the header: to CSV (UTF-8, comma, RFC 4180 quoting, numbers as
// stored, to full precision, text never read as a formula) or to an .xlsx workbook (numbers as
// numbers, the header bold and frozen, columns as wide as their contents). Written to a temporary
// file beside the target and renamed into place when complete: a failed or cancelled export leaves
// no partial file, and an earlier file of that name stays as it was.
class ViewExport {
public:
    enum class Format { Csv, Xlsx };
    // A sheet's rows below the header; a larger view is refused before
    // anything is written.
    static constexpr long kMaxSheetRows = 1048575;
    static Format formatFor(const std::string& path); // by the suffix; CSV unless .xlsx

    // Columns worked out from each row and written after the view's own
    // (a norm, a name): their names, and their cells from a row's values.
    struct ExtraColumns {
        std::vector<std::string> names;
        std::function<std::vector<engine::Value>(const std::vector<engine::Value>& row)> cells;
    };

    // What an export reads: rows by their place, 0 to count() - 1, in the
    // order they are written, and the names of their columns; all on the
    // export's thread. A row gone since it was counted (another user
    // deleted it) is left out of the file.
    class Rows {
    public:
        virtual ~Rows() = default;
        virtual long count() = 0;
        virtual const std::vector<std::string>& fieldNames() = 0;
        virtual bool gone(long row) {
            (void)row;
            return false;
        }
        // Throws the reason a row cannot be read.
        virtual const engine::Value& cell(long row, int column) = 0;
    };

    // Returns the rows written, or -1 when cancelled. Throws
    // std::runtime_error with the path and the reason.
    static long write(Rows& rows, const std::string& path,
                      const std::function<void(long row)>& progress = {},
                      const std::atomic<bool>* cancel = nullptr,
                      const ExtraColumns* extra = nullptr);

    // A field, quoted when it holds the delimiter, a quote, a line break or
    // blanks at either end (which a reader would trim).
    static std::string csvField(const std::string& text);
    // A text cell: one that a spreadsheet would take for a formula (it
    // starts with =, +, -, @, a tab or a CR, after any apostrophes) gets an
    // apostrophe before it, which the import takes off again.
    static std::string csvText(const std::string& text);
    static bool formulaLike(const std::string& text);
    static std::string numberText(double d); // shortest text that reads back the same
};
