#include "DateText.h"

#include "TextRules.h"

#include <cctype>
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

bool fromSerial(double serial, int originYear, int originMonth, int originDay, std::string& out) {
    if (!(serial >= 1 && serial < 3e6) || serial != static_cast<double>(static_cast<long>(serial)))
        return false;
    int y = 0, m = 0, d = 0;
    civilFromDays(daysFromCivil(originYear, originMonth, originDay) + static_cast<long>(serial), y,
                  m, d);
    if (y < 1900 || y > 9999)
        return false;
    out = iso(y, m, d);
    return true;
}

Result toIso(const std::string& text, std::string& out) {
    const std::string t = textrules::trimmed(text);
    int y = 0, m = 0, d = 0;
    char sep1 = 0, sep2 = 0;
    int used = 0;
    // YYYY-MM-DD as it stands.
    if (std::sscanf(t.c_str(), "%4d-%2d-%2d%n", &y, &m, &d, &used) == 3 &&
        used == static_cast<int>(t.size()) && t.size() == 10 && validDay(y, m, d))
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
