#include "DateText.h"

#include "TextRules.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <vector>

namespace datetext {

namespace {

bool validDay(int year, int month, int day) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1000 || year > 9999 || month < 1 || month > 12 || day < 1)
        return false;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return day <= days[month - 1] + (month == 2 && leap ? 1 : 0);
}

// HH:MM or HH:MM:SS, as the table writes a time.
bool validTime(const std::string& t) {
    if (t.size() != 5 && t.size() != 8)
        return false;
    for (std::size_t i = 0; i < t.size(); ++i)
        if (i % 3 == 2 ? t[i] != ':' : !std::isdigit(static_cast<unsigned char>(t[i])))
            return false;
    auto at = [&](std::size_t i) { return (t[i] - '0') * 10 + (t[i + 1] - '0'); };
    return at(0) < 24 && at(3) < 60 && (t.size() == 5 || at(6) < 60);
}

std::string iso(int year, int month, int day) {
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", year, month, day);
    return text;
}

// The date's parts: runs of digits and runs of letters.
std::vector<std::string> parts(const std::string& t) {
    std::vector<std::string> out;
    std::string cur;
    int kind = 0; // 1 digits, 2 letters
    for (char ch : t) {
        const auto c = static_cast<unsigned char>(ch);
        const int k = std::isdigit(c) ? 1 : std::isalpha(c) ? 2 : 0;
        if (k != kind && !cur.empty()) {
            out.push_back(cur);
            cur.clear();
        }
        kind = k;
        if (k)
            cur += static_cast<char>(std::tolower(c));
    }
    if (!cur.empty())
        out.push_back(cur);
    return out;
}

int monthByName(const std::string& word) {
    static const char* names[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                  "jul", "aug", "sep", "oct", "nov", "dec"};
    static const char* german[] = {"jan", "feb", "mär", "apr", "mai", "jun",
                                   "jul", "aug", "sep", "okt", "nov", "dez"};
    if (word.size() < 3)
        return 0;
    for (int m = 0; m < 12; ++m)
        if (word.compare(0, 3, names[m]) == 0 || word.compare(0, 3, german[m]) == 0)
            return m + 1;
    return 0;
}

bool digits(const std::string& s) {
    return !s.empty() && std::isdigit(static_cast<unsigned char>(s[0]));
}

// Days since 1970-01-01 of a civil date, and back (proleptic Gregorian).
long daysFromCivil(int y, int m, int d) {
    y -= m <= 2;
    const long era = (y >= 0 ? y : y - 399) / 400;
    const long yoe = y - era * 400;
    const long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civilFromDays(long z, int& y, int& m, int& d) {
    z += 719468;
    const long era = (z >= 0 ? z : z - 146096) / 146097;
    const long doe = z - era * 146097;
    const long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

} // namespace

bool fromSerial(double serial, const int origin[3], Shown shown, std::string& out) {
    if (shown == Shown::Number || !(serial >= 0 && serial < 3e6))
        return false;
    // To the nearest second: a time of day is rarely a binary fraction.
    const long long seconds = std::llround(serial * 86400);
    long days = static_cast<long>(seconds / 86400);
    const int rest = static_cast<int>(seconds % 86400);
    const int hour = rest / 3600, minute = rest / 60 % 60, second = rest % 60;
    if (shown == Shown::Time) {
        char text[16];
        if (second)
            std::snprintf(text, sizeof text, "%02d:%02d:%02d", hour, minute, second);
        else
            std::snprintf(text, sizeof text, "%02d:%02d", hour, minute);
        out = text;
        return true;
    }
    if (shown == Shown::Date)
        days = static_cast<long>(std::floor(serial)); // the day the sheet shows
    int y = 0, m = 0, d = 0;
    civilFromDays(daysFromCivil(origin[0], origin[1], origin[2]) + days, y, m, d);
    if (y < 1900 || y > 9999)
        return false;
    out = shown == Shown::Date ? iso(y, m, d) : dateTime(y, m, d, hour, minute, second);
    return true;
}

bool fromSerial(double serial, int originYear, int originMonth, int originDay, std::string& out) {
    if (!(serial >= 1))
        return false;
    const int origin[3] = {originYear, originMonth, originDay};
    return fromSerial(serial, origin, Shown::DateTime, out);
}

std::string dateTime(int year, int month, int day, int hour, int minute, int second) {
    if (hour == 0 && minute == 0 && second == 0)
        return iso(year, month, day);
    char text[40];
    if (second)
        std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", year, month, day, hour,
                      minute, second);
    else
        std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", year, month, day, hour,
                      minute);
    return text;
}

Shown formatShows(const std::string& code) {
    bool date = false, time = false, month = false;
    for (std::size_t i = 0; i < code.size() && code[i] != ';'; ++i) {
        const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(code[i])));
        if (c == '"') {
            i = code.find('"', i + 1);
            if (i == std::string::npos)
                break;
        } else if (c == '\\' || c == '_' || c == '*') {
            ++i; // an escaped or padding character
        } else if (c == '[') {
            const std::size_t end = code.find(']', i);
            if (end == std::string::npos)
                break;
            const std::string inside = code.substr(i + 1, end - i - 1);
            if (!inside.empty() && inside.find_first_not_of("hHmMsS") == std::string::npos)
                time = true; // elapsed time
            i = end;
        } else if (c == 'y' || c == 'd') {
            date = true;
        } else if (c == 'h' || c == 's') {
            time = true;
        } else if (c == 'm') {
            month = true; // minutes beside hours or seconds
        }
    }
    date = date || (month && !time);
    return date && time ? Shown::DateTime : date ? Shown::Date : time ? Shown::Time : Shown::Number;
}

Shown builtinFormatShows(std::size_t id) {
    if (id >= 14 && id <= 17)
        return Shown::Date;
    if ((id >= 18 && id <= 21) || (id >= 45 && id <= 47))
        return Shown::Time;
    return id == 22 ? Shown::DateTime : Shown::Number;
}

Result toIso(const std::string& text, std::string& out) {
    const std::string t = textrules::trimmed(text);
    int y = 0, m = 0, d = 0;
    char sep1 = 0, sep2 = 0;
    int used = 0;
    // YYYY-MM-DD as it stands, with its time; a time alone.
    if (std::sscanf(t.c_str(), "%4d-%2d-%2d%n", &y, &m, &d, &used) == 3 && used == 10 &&
        validDay(y, m, d) && (t.size() == 10 || (t[10] == ' ' && validTime(t.substr(11)))))
        return Result::Iso;
    if (validTime(t))
        return Result::Iso;
    // DD.MM.YYYY: day first wherever dots are written.
    if (std::sscanf(t.c_str(), "%2d%c%2d%c%4d%n", &d, &sep1, &m, &sep2, &y, &used) == 5 &&
        used == static_cast<int>(t.size()) && sep1 == '.' && sep2 == '.' && t.size() >= 8 &&
        validDay(y, m, d)) {
        out = iso(y, m, d);
        return Result::Converted;
    }
    // A month by name: "12 March 1998", "12-Mar-1998", "March 12, 1998".
    const auto p = parts(t);
    if (p.size() == 3) {
        int month = 0, day = 0, year = 0;
        if (!digits(p[1]) && digits(p[0]) && digits(p[2]))
            month = monthByName(p[1]), day = std::atoi(p[0].c_str()),
            year = std::atoi(p[2].c_str());
        else if (!digits(p[0]) && digits(p[1]) && digits(p[2]))
            month = monthByName(p[0]), day = std::atoi(p[1].c_str()),
            year = std::atoi(p[2].c_str());
        if (month && p[2].size() == 4 && validDay(year, month, day)) {
            out = iso(year, month, day);
            return Result::Converted;
        }
    }
    return Result::Kept;
}

} // namespace datetext
