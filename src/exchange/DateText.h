#pragma once

#include <string>

// Dates as the table keeps them: YYYY-MM-DD.
namespace datetext {

enum class Result { Iso, Converted, Kept };

// Iso: already YYYY-MM-DD. Converted: an unambiguous date (DD.MM.YYYY, a
// month by name) written into out as YYYY-MM-DD. Kept: anything else
// (03/05/2021 could be either day first or month first), left as it is.
Result toIso(const std::string& text, std::string& out);

// A spreadsheet's date serial (days since its origin: 1899-12-30 in most
// workbooks, 1904-01-01 in some) as YYYY-MM-DD; false for a number that is
// no whole day between the years 1900 and 9999.
bool fromSerial(double serial, int originYear, int originMonth, int originDay, std::string& out);

} // namespace datetext
