#pragma once

#include <string>
#include <system_error>

// How a file writes its numbers. A file has one decimal mark, a point or a
// comma; the other mark, a blank or an apostrophe may then group the digits
// before it in threes ("1.234,5" and "1 234,5" with a comma; "1,234.5" with
// a point). A cell that fits neither the file's decimal mark nor its
// grouping is not a number: nothing is guessed cell by cell.
namespace numberstyle {

enum class Mark { Point, Comma };

// What the cells of a file say about its decimal mark.
struct Evidence {
    long point = 0;     // cells readable only with a decimal point ("51.37", "1,234.5")
    long comma = 0;     // cells readable only with a decimal comma ("51,37", "1.234,5")
    long ambiguous = 0; // cells that read either way ("1.234", "1,234")
    std::string firstPoint, firstComma, firstAmbiguous; // an example of each

    void observe(const std::string& cell);
};

// The file's decimal mark: the one its cells show, the more frequent one
// when they disagree (the others are then bad cells), and the delimiter's
// custom (a comma with semicolons) when no cell decides.
Mark decide(const Evidence& evidence, char delimiter);
// Whether the choice was made without a cell to show it, while cells read
// either way, or against cells that show the other mark.
bool undecided(const Evidence& evidence);
bool contradicted(const Evidence& evidence);

// Reads a trimmed cell with the file's mark. One sign at most, an exponent
// only without grouping; errc::invalid_argument for a cell that fits
// neither, errc::result_out_of_range for one beyond a double.
std::errc read(const std::string& cell, Mark mark, double& out);

const char* name(Mark mark); // "point" or "comma"

} // namespace numberstyle
