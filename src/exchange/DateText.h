#pragma once

#include <cstddef>
#include <string>

// Dates as the table keeps them: YYYY-MM-DD, a time of day after it as
// HH:MM (HH:MM:SS when the seconds are not zero), a time alone as HH:MM.
namespace datetext {

enum class Result { Iso, Converted, Kept };

// What a workbook's number format shows of a number.
enum class Shown { Number, Date, DateTime, Time };

// Iso: already in the table's form (YYYY-MM-DD, with or without its time,
// or a time alone). Converted: an unambiguous date (DD.MM.YYYY, a
// month by name) written into out as YYYY-MM-DD. Kept: anything else
// (03/05/2021 could be either day first or month first), left as it is.
Result toIso(const std::string& text, std::string& out);

// A spreadsheet's date serial (days since its origin: 1899-12-30 in most
// workbooks, 1904-01-01 in some; the fraction the time of day) as
// YYYY-MM-DD, with its time when the fraction is not nothing; false for a
// number that is no day between the years 1900 and 9999.
bool fromSerial(double serial, int originYear, int originMonth, int originDay, std::string& out);

// The serial as its format shows it: Date the day alone, DateTime the day
// and its time (the time left out at midnight), Time the time of day alone.
// False for Number, or a serial fromSerial refuses (a time: one below 0).
bool fromSerial(double serial, const int origin[3], Shown shown, std::string& out);

// A date and time as the table writes them.
std::string dateTime(int year, int month, int day, int hour, int minute, int second);

// What a number format code ("yyyy-mm-dd", "h:mm AM/PM", "0.00",
// "DD.MM.YYYY HH:MM") shows: its letters outside quotes, escapes and
// [colour] brackets tell. Elapsed hours ("[h]:mm") are a time.
Shown formatShows(const std::string& code);
// The same for the format numbers a workbook may use without writing
// their code out (14 to 22, 45 to 47).
Shown builtinFormatShows(std::size_t id);

} // namespace datetext
