#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// The cells of one sheet while a workbook is read: only those holding
// something, at most 1,048,576 rows by 16,384 columns (what xlsx allows,
// and what spreadsheet programs give an .ods), so that a cell written far
// away costs one cell and not the rows and columns up to it. A cell outside
// those limits is never kept; the first such fault is named for the
// message. The table handed on is refused when it would be much larger
// than the cells it holds, and the cells' text is held to a bound set from
// the size of the XML it came from, since a text shared or spaces repeated
// could otherwise grow a few bytes into gigabytes.
class SheetCells {
public:
    static constexpr std::int64_t kRows = 1048576;
    static constexpr std::int64_t kColumns = 16384;
    using Rows = std::vector<std::vector<std::string>>;

    struct Cell {
        std::string text;
        bool number = false; // a number, for its format to show it
    };

    // "XFD1048576"; 0-based row and column, any number at or above 0.
    static std::string name(std::int64_t row, std::int64_t col);
    // Why no cell can be there, or empty when one can.
    static std::string outside(std::int64_t row, std::int64_t col);

    // Sets a cell (an empty text sets nothing); false, the fault kept, when
    // the place is outside the limits.
    bool put(std::int64_t row, std::int64_t col, std::string text, bool number = false);
    // The most text the cells may hold: a fixed allowance and some times
    // the bytes of XML the sheet was read from.
    static std::size_t textBoundFor(std::size_t xmlBytes) {
        return kSpareText + kTextPerXmlByte * xmlBytes;
    }
    void boundText(std::size_t xmlBytes) { textBound_ = textBoundFor(xmlBytes); }
    const Cell* find(std::int64_t row, std::int64_t col) const;
    std::size_t size() const { return cells_.size(); }

    // The first fault, empty while there is none; later ones are dropped.
    const std::string& fault() const { return fault_; }
    void fail(std::string why);

    // Each cell with its row and column, row by row.
    template <class F> void forEach(F f) {
        for (auto& [key, cell] : cells_)
            f(static_cast<std::int64_t>(key / kColumns), static_cast<std::int64_t>(key % kColumns),
              cell);
    }

    // The table from the first row on, each row as wide as its last cell.
    // False, with why, for a sheet whose table would be out of all
    // proportion to its cells (a stray cell far off, rows far apart).
    bool toRows(const std::string& sheet, Rows& rows, std::string& why);

private:
    static std::uint64_t key(std::int64_t row, std::int64_t col) {
        return static_cast<std::uint64_t>(row) * kColumns + static_cast<std::uint64_t>(col);
    }
    static constexpr std::size_t kSpareText = std::size_t(64) << 20;
    static constexpr std::size_t kTextPerXmlByte = 8;
    std::map<std::uint64_t, Cell> cells_; // row-major
    std::string fault_;
    std::size_t text_ = 0, textBound_ = kSpareText; // bytes of text held, and the most
};
