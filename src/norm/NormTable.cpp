#include "NormTable.h"

#include "RockName.h"
#include "platform/db/Query.h"
#include "platform/threads/Pipeline.h"

#include <charconv>
#include <cmath>
#include <memory>

namespace norm {

namespace table {

std::vector<std::string> header() {
    std::vector<std::string> h = {"ID"};
    for (int m = 0; m < kMineralCount; ++m)
        h.emplace_back(mineralName(m).abbreviation);
    for (const char* c : {"Sum", "Mg#", "DI", "CIA", "Name"})
        h.emplace_back(c);
    return h;
}

void appendFixed2(std::string& out, double value) {
    if (value == 0 || std::abs(value) < 0.005) {
        out += "0.00"; // also where rounding would write -0.00
        return;
    }
    // Hundredths in whole numbers, unless the value lies so near a half
    // hundredth that the product's rounding could tip it: then the exact
    // (slower) conversion decides, as printf would.
    const double hundredths = value * 100;
    const double fraction = hundredths - std::floor(hundredths);
    if (std::abs(hundredths) < 1e15 && std::abs(fraction - 0.5) > 1e-6) {
        long long n = std::llround(hundredths);
        if (n < 0) {
            out += '-';
            n = -n;
        }
        char buf[24];
        char* end = buf + sizeof buf;
        char* p = end;
        *--p = static_cast<char>('0' + n % 10);
        *--p = static_cast<char>('0' + n / 10 % 10);
        *--p = '.';
        n /= 100;
        do
            *--p = static_cast<char>('0' + n % 10);
        while ((n /= 10) > 0);
        out.append(p, end);
        return;
    }
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 2);
    out.append(buf, r.ptr);
}

std::string fixed2(double value) {
    std::string s;
    appendFixed2(s, value);
    return s;
}

void appendCells(std::string& out, const Norm& n, Names names) {
    if (n.valid) {
        for (double m : n.mineral) {
            appendFixed2(out, m);
            out += '\t';
        }
        appendFixed2(out, n.sum);
        out += '\t';
        if (!std::isnan(n.mgNumber))
            appendFixed2(out, n.mgNumber);
        out += '\t';
        appendFixed2(out, n.di);
        out += '\t';
        if (!std::isnan(n.cia))
            appendFixed2(out, n.cia);
    } else {
        out.append(kMineralCount + 3, '\t');
    }
    out += '\t';
    out += nameWithFlags(n, names);
}

std::vector<std::string> cells(const Norm& n, Names names) {
    std::string line;
    appendCells(line, n, names);
    std::vector<std::string> c;
    std::size_t from = 0;
    for (std::size_t tab; (tab = line.find('\t', from)) != std::string::npos; from = tab + 1)
        c.push_back(line.substr(from, tab - from));
    c.push_back(line.substr(from));
    return c;
}

} // namespace table

namespace {

// Rows read but not yet normed, handed from the reading thread to the
// calling one.
struct Batch {
    std::vector<std::int64_t> ids;
    std::vector<engine::Value> values; // kOxideCount per row
    std::vector<std::string> rocknames;
};

} // namespace

bool forEachNorm(engine::Database& db, const std::string& tableName, const std::string& condition,
                 IronChoice iron, const std::function<void(std::int64_t, const Norm&)>& each,
                 const std::atomic<bool>* cancel) {
    std::string sql = "SELECT [ID]";
    for (int o = 0; o < kOxideCount; ++o)
        sql += std::string(", [") + oxideName(o) + "]";
    sql += ", [Rockname]"; // a plutonic rock takes a plutonic name
    // Blanks at every join: a condition ending in a number must not run
    // into the order.
    sql += " FROM [" + tableName + "]";
    if (!condition.empty())
        sql += " WHERE (" + condition + ")";
    sql += " ORDER BY [ID]";
    // Prepared here, so that a statement that cannot run fails at once.
    auto q = std::make_unique<engine::Query>(db, sql);
    // The database is read on a thread of its own while this one norms
    // what was read before: the two take about as long.
    return pipeline::run<Batch>(
        [&q](Batch& b) {
            constexpr std::size_t kRows = 2048;
            while (b.ids.size() < kRows) {
                if (!q->next())
                    return false;
                b.ids.push_back(q->integer(0));
                for (int o = 0; o < kOxideCount; ++o) {
                    // Most cells are numbers or empty; text is read as text.
                    const double x = q->number(o + 1);
                    b.values.push_back(std::isnan(x) ? q->value(o + 1) : engine::Value::real(x));
                }
                b.rocknames.push_back(q->value(kOxideCount + 1).storedText());
            }
            return true;
        },
        [&](Batch& b) {
            for (std::size_t r = 0; r < b.ids.size(); ++r) {
                Analysis a = Analysis::fromValues(&b.values[r * kOxideCount]);
                a.rockname = std::move(b.rocknames[r]);
                each(b.ids[r], computeNorm(a, iron));
            }
        },
        [&q] { q.reset(); }, // on the thread that used it
        cancel);
}

} // namespace norm
