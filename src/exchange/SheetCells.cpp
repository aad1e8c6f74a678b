// The sparse cells of a sheet and the one step that makes them a table:
// the size of that table is counted before any of it is made.
#include "SheetCells.h"

#include <algorithm>

namespace {
// Room in the table handed on: every row and every place up to a row's
// last cell costs one. Dense sheets use about one per cell; beyond this
// many per cell (and a fixed allowance, 64 MiB of empty places at most)
// the sheet is mostly emptiness around a few cells.
constexpr std::size_t kPlacesPerCell = 8;
constexpr std::size_t kSparePlaces = std::size_t(1) << 21;
} // namespace

std::string SheetCells::name(std::int64_t row, std::int64_t col) {
    std::string letters;
    for (std::int64_t c = col + 1; c > 0; c = (c - 1) / 26)
        letters.insert(letters.begin(), static_cast<char>('A' + (c - 1) % 26));
    return letters + std::to_string(row + 1);
}

std::string SheetCells::outside(std::int64_t row, std::int64_t col) {
    if (row < 0 || col < 0)
        return "a cell lies before the first row or column";
    if (col >= kColumns)
        return "cell " + name(row, col) + " is beyond the last column (" +
               name(0, kColumns - 1).substr(0, 3) + ")";
    if (row >= kRows)
        return "cell " + name(row, col) + " is beyond the last row (" + std::to_string(kRows) + ")";
    return {};
}

void SheetCells::fail(std::string why) {
    if (fault_.empty())
        fault_ = std::move(why);
}

bool SheetCells::put(std::int64_t row, std::int64_t col, std::string text, bool number) {
    if (std::string why = outside(row, col); !why.empty()) {
        fail(std::move(why));
        return false;
    }
    if (text.empty())
        return true;
    Cell& cell = cells_[key(row, col)];
    text_ += text.size() - cell.text.size();
    cell = Cell{std::move(text), number};
    if (text_ > textBound_) {
        fail("cell " + name(row, col) + " takes the sheet's text past " +
             std::to_string(textBound_ >> 20) +
             " MiB, far more than the file holds (texts repeated or shared without end)");
        text_ -= cell.text.size();
        cells_.erase(key(row, col));
        return false;
    }
    return true;
}

const SheetCells::Cell* SheetCells::find(std::int64_t row, std::int64_t col) const {
    if (!outside(row, col).empty())
        return nullptr;
    const auto c = cells_.find(key(row, col));
    return c == cells_.end() ? nullptr : &c->second;
}

bool SheetCells::toRows(const std::string& sheet, Rows& rows, std::string& why) {
    rows.clear();
    if (cells_.empty())
        return true;
    // The places the table would take, counted before any is made.
    std::size_t places = 0, widths = 0;
    std::int64_t lastRow = -1;
    std::uint64_t widest = cells_.begin()->first;
    for (auto c = cells_.begin(); c != cells_.end(); ++c) {
        const auto row = static_cast<std::int64_t>(c->first / kColumns);
        const auto next = std::next(c);
        if (next == cells_.end() || static_cast<std::int64_t>(next->first / kColumns) != row) {
            widths += c->first % kColumns + 1; // the row's last cell
            places += static_cast<std::size_t>(row - lastRow) + c->first % kColumns + 1;
            lastRow = row;
        }
        if (c->first % kColumns > widest % kColumns)
            widest = c->first;
    }
    if (places > kSparePlaces + kPlacesPerCell * cells_.size()) {
        // Named: the cell that stretches the rows, or the last one.
        const std::uint64_t far = widths * 2 > places ? widest : std::prev(cells_.end())->first;
        why = "cell " +
              name(static_cast<std::int64_t>(far / kColumns),
                   static_cast<std::int64_t>(far % kColumns)) +
              " of sheet '" + sheet + "' lies far outside its other " +
              std::to_string(cells_.size() - 1) + " cells: the sheet would take " +
              std::to_string(places) + " places for them. Delete what lies outside the data.";
        return false;
    }
    rows.resize(static_cast<std::size_t>(lastRow) + 1);
    for (auto& [k, cell] : cells_) {
        auto& cells = rows[static_cast<std::size_t>(k / kColumns)];
        cells.resize(static_cast<std::size_t>(k % kColumns) + 1);
        cells.back() = std::move(cell.text);
    }
    cells_.clear();
    return true;
}
