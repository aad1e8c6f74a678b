#pragma once

#include <string_view>
#include <system_error>

namespace engine {

// Reads a whole text as one decimal number: an optional single sign, then
// digits with an optional point and exponent. Anything else ("+-1", "1e",
// "inf", blanks) is std::errc::invalid_argument; a number too large or too
// small to hold is std::errc::result_out_of_range.
std::errc parseNumber(std::string_view text, double& out);

} // namespace engine
