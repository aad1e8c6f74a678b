#pragma once

#include <string>

// Dates as the table keeps them: YYYY-MM-DD.
namespace datetext {

enum class Result { Iso, Converted, Kept };

// Iso: already YYYY-MM-DD. Converted: an unambiguous date (DD.MM.YYYY, a
// month by name) written into out as YYYY-MM-DD. Kept: anything else
// (03/05/2021 could be either day first or month first), left as it is.
Result toIso(const std::string& text, std::string& out);

} // namespace datetext
