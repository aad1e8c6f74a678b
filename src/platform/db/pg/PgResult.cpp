#include "PgResult.h"

#include "platform/db/NumberText.h"

#include <cstdlib>
#include <cstring>
#include <limits>

namespace engine {

namespace {
// Type oids of the server's built-in types.
constexpr Oid kInt8 = 20, kInt2 = 21, kInt4 = 23, kFloat4 = 700, kFloat8 = 701, kNumeric = 1700,
              kOid = 26, kXid = 28;
} // namespace

std::string PgResult::state() const {
    const char* s = r_ ? PQresultErrorField(r_, PG_DIAG_SQLSTATE) : nullptr;
    return s ? s : "";
}

std::string PgResult::message() const {
    const char* m = r_ ? PQresultErrorField(r_, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    if (m)
        return m;
    std::string all = r_ ? PQresultErrorMessage(r_) : "";
    while (!all.empty() && (all.back() == '\n' || all.back() == ' '))
        all.pop_back();
    return all;
}

std::int64_t PgResult::integer(int row, int c) const {
    return std::strtoll(PQgetvalue(r_, row, c), nullptr, 10);
}

double PgResult::number(int row, int c) const {
    if (PQgetisnull(r_, row, c))
        return std::numeric_limits<double>::quiet_NaN();
    const Oid t = PQftype(r_, c);
    const char* s = PQgetvalue(r_, row, c);
    if (t == kFloat8 || t == kFloat4 || t == kNumeric || t == kInt8 || t == kInt4 || t == kInt2) {
        double d = 0;
        if (parseNumber(s, d) == std::errc())
            return d;
        if (std::strcmp(s, "Infinity") == 0)
            return std::numeric_limits<double>::infinity();
        if (std::strcmp(s, "-Infinity") == 0)
            return -std::numeric_limits<double>::infinity();
    }
    return std::numeric_limits<double>::quiet_NaN();
}

Value PgResult::value(int row, int c) const {
    if (PQgetisnull(r_, row, c))
        return {};
    const char* s = PQgetvalue(r_, row, c);
    switch (PQftype(r_, c)) {
    case kInt8:
    case kInt4:
    case kInt2:
    case kOid:
    case kXid:
        return Value::integer(std::strtoll(s, nullptr, 10));
    case kNumeric:
        if (!std::strpbrk(s, ".eEIN"))
            return Value::integer(std::strtoll(s, nullptr, 10));
        [[fallthrough]];
    case kFloat8:
    case kFloat4:
        return Value::real(number(row, c));
    default:
        return Value::text(std::string(s, static_cast<std::size_t>(PQgetlength(r_, row, c))));
    }
}

long PgResult::changed() const {
    const char* n = PQcmdTuples(r_);
    return n && *n ? std::strtol(n, nullptr, 10) : 0;
}

} // namespace engine
