// The printing commands of quarzel-db (see Reports.h).
#include "Reports.h"

#include "CommandView.h"
#include "SampleData.h"
#include "TabText.h"
#include "classify/DiscriminationView.h"
#include "classify/PatternView.h"
#include "classify/TasDiagram.h"
#include "classify/TasView.h"
#include "platform/db/DBEngine.h"
#include "platform/db/Database.h"
#include "platform/db/History.h"
#include "platform/db/Query.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <vector>

namespace reports {

namespace {

// Output gathered and written in large pieces; all of it when asked.
void write(std::string& out, bool all = false) {
    if (!all && out.size() < (1 << 16))
        return;
    std::fwrite(out.data(), 1, out.size(), stdout);
    out.clear();
    if (all)
        std::fflush(stdout);
}

// The shortest text that reads back as the same number.
void appendNumber(std::string& out, const std::optional<double>& v) {
    if (!v)
        return;
    char buf[40];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, *v);
    out.append(buf, ec == std::errc() ? end : buf);
}

} // namespace

std::shared_ptr<engine::Database> logOn(const std::string& dir) {
    namespace fs = std::filesystem;
    // The server's account is the connection string's, or the PG*
    // environment's.
    if (dir.rfind(kServer, 0) == 0)
        return engine::Database::openServer(dir.substr(std::strlen(kServer)), {}, {}, false);
    auto& engine = engine::DBEngine::instance();
    engine.SystemDB = (fs::path(dir) / SampleData::kWorkgroupName).string();
    engine.DefaultUser = SampleData::kUser;
    engine.DefaultPassword = SampleData::kPassword;
    return engine.Workspaces(0).OpenDatabase((fs::path(dir) / SampleData::kDatabaseName).string());
}

int query(const std::string& dir, const std::string& statement) {
    CommandView shown(logOn(dir), statement);
    View& view = shown.view();
    std::string out;
    for (long i = 0; i < shown.rows(); ++i) {
        for (int c = 0; c < view.fieldCount(); ++c) {
            if (c)
                out += '\t';
            out += view.valueAt(i, c).storedText();
        }
        out += '\n';
        write(out);
    }
    write(out, true);
    std::cout << shown.rows() << " rows\n";
    return 0;
}

// Each row's place on a diagram (TAS unless named), volatile-free, in the
// order of ID: ID, the two coordinates (for AFM its A and F in per cent, on
// a log axis the quantity itself) and the class's name (for a row without
// a point on a trace-element diagram, why), then the rows of each class
// and of each reason for no point.
int classify(const std::string& dir, const std::string& table, const std::string& where,
             const chart::Diagram& diagram) {
    // Blanks at every join: a condition ending in a number ("[SiO2] > 45")
    // must not run into the order.
    std::string statement = "SELECT * FROM [" + table + "]";
    if (!where.empty())
        statement += " Where (" + where + ")";
    statement += " Order By [ID] ASC";
    // The diagram window's reading: the view's keys, read where they are.
    CommandView shown(logOn(dir), statement);
    const ViewSnapshot snapshot = shown.snapshot();
    engine::Database& db = *snapshot.database;
    const engine::KeySpan keys = snapshot.keys();
    tas::ViewPoints view;
    chart::NoPointReasons why;
    const bool traces = !diagram.elements().empty();
    if (traces)
        chart::readTraceView(db, snapshot.table, keys, diagram, -1, view, why);
    else
        tas::readView(db, snapshot.table, keys, diagram, true, view);
    const auto& classes = diagram.classes();
    const std::string unclassed = diagram.unclassed();
    char line[320];
    std::string out;
    for (std::size_t i = 0; i < view.points.size(); ++i) {
        const tas::PackedPoint& p = view.points[i];
        const char* name = !p.valid()      ? tas::kNoPoint
                           : view.field[i] < 0
                               ? unclassed.c_str()
                               : classes[static_cast<std::size_t>(view.field[i])].c_str();
        double x = p.silica, y = p.alkali;
        if (diagram.ternary()) { // back from the triangle to A and F
            const double f = y * 2 / std::sqrt(3.0), m = x - f / 2;
            x = 100 - f - m;
            y = f;
        }
        if (diagram.logX())
            x = std::pow(10.0, x);
        if (diagram.logY())
            y = std::pow(10.0, y);
        const std::string reason =
            chart::NoPointReasons::ofRowText(diagram, view, static_cast<long>(i));
        if (p.valid() && traces)
            std::snprintf(line, sizeof line, "%lld\t%.4g\t%.4g\t%s\n",
                          static_cast<long long>(keys[i]), x, y, name);
        else if (p.valid())
            std::snprintf(line, sizeof line, "%lld\t%.2f\t%.2f\t%s\n",
                          static_cast<long long>(keys[i]), x, y, name);
        else if (!reason.empty())
            std::snprintf(line, sizeof line, "%lld\t\t\t%s: %s\n", static_cast<long long>(keys[i]),
                          name, reason.c_str());
        else
            std::snprintf(line, sizeof line, "%lld\t\t\t%s\n", static_cast<long long>(keys[i]),
                          name);
        out += line;
        write(out);
    }
    write(out, true);
    for (std::size_t f = 0; f < classes.size(); ++f)
        std::cout << classes[f] << "\t" << view.perField[f] << "\n";
    if (!unclassed.empty())
        std::cout << unclassed << "\t" << view.outside << "\n";
    std::cout << tas::kNoPoint << "\t" << view.noPoint << "\n";
    for (std::size_t r = 0; r < why.perReason.size(); ++r)
        if (why.perReason[r] > 0)
            std::cout << tas::kNoPoint << ": " << diagram.noPointReasons()[r] << "\t"
                      << why.perReason[r] << "\n";
    return 0;
}

// Each row's CIPW norm in the order of ID, tab-separated under a header:
// ID, the minerals, Sum, Mg#, DI and the refined name (or why there is no
// norm).
int normRows(const std::string& dir, const std::string& table, const std::string& where,
             norm::IronChoice iron, norm::Names names) {
    auto db = logOn(dir);
    std::string out;
    for (const std::string& h : norm::table::header())
        out += (out.empty() ? "" : "\t") + h;
    out += '\n';
    norm::forEachNorm(*db, table, where, iron, [&](std::int64_t id, const norm::Norm& n) {
        out += std::to_string(id);
        out += '\t';
        norm::table::appendCells(out, n, names);
        out += '\n';
        write(out);
    });
    write(out, true);
    return 0;
}

// Each row's trace-element pattern in the order of ID: the set's name on
// the first line, then a header; per row its ID, sample number, each
// element normalised (empty where unknown, "<x" for a detection limit),
// the ratios (empty where undefined) and why those are undefined.
int classifyPattern(const std::string& dir, const std::string& table, const std::string& where,
                    trace::PatternKind kind, const trace::NormalisingSet& set) {
    auto db = logOn(dir);
    std::vector<int> elements;
    for (int e : trace::elementsOf(kind))
        if (!trace::bridged(e))
            elements.push_back(e);
    std::string out = "Sample / " + set.name + "\nID\tSample";
    for (int e : elements)
        out += std::string("\t") + trace::kElements[static_cast<std::size_t>(e)];
    for (const char* r : trace::kRatioNames)
        out += std::string("\t") + r;
    out += "\tUndefined\n";
    char number[40];
    auto append = [&](double v) {
        std::snprintf(number, sizeof number, "%.4g", v);
        out += number;
    };
    trace::forEachSample(*db, table, where, [&](const trace::SampleRow& s) {
        out += std::to_string(s.id);
        out += '\t';
        appendTabText(out, s.sample);
        const trace::Composition n = trace::normalise(s.ppm, set);
        for (int e : elements) {
            out += '\t';
            const trace::Reading& r = n[static_cast<std::size_t>(e)];
            if (r.limit)
                out += '<';
            if (r.known())
                append(r.value);
        }
        std::string why;
        const auto ratios = trace::ratiosOf(n, set);
        for (std::size_t i = 0; i < ratios.size(); ++i) {
            out += '\t';
            if (ratios[i].why.empty())
                append(ratios[i].value);
            else
                why += (why.empty() ? "" : "; ") + std::string(trace::kRatioNames[i]) + ": " +
                       ratios[i].why;
        }
        out += '\t';
        out += why;
        out += '\n';
        write(out);
        return true;
    });
    write(out, true);
    return 0;
}

// Every value of the rows a condition selects, in the order of ID and then
// as stored, under a header: the row's sample number beside its ID.
// The table's newest changes (or one sample's), newest first: a line per
// changed column, with its values before and after as stored.
int historyOf(const std::string& dir, const std::string& table, const std::string& sample,
              int limit) {
    auto db = logOn(dir);
    engine::History history(*db, table);
    if (!history.kept()) {
        std::cerr << "quarzel-db: no history is kept of " << table << " here.\n";
        return 1;
    }
    const std::vector<engine::HistoryEntry> entries =
        sample.empty() ? history.recent(limit) : history.ofSample(std::stoll(sample));
    std::string out = "Entry\tMade\tAccount\tKind\tID\tRows\tColumn\tBefore\tAfter\n";
    for (const engine::HistoryEntry& e : entries) {
        std::string head = std::to_string(e.entry) + '\t' + e.made + '\t';
        appendTabText(head, e.account);
        head += '\t' + e.kind + '\t' + std::to_string(e.sample) + '\t' +
                (e.kind == "imported" ? std::to_string(e.rows) : std::string()) + '\t';
        if (e.columns.empty())
            out += head + "\t\t\n";
        for (const engine::HistoryEntry::Column& c : e.columns) {
            out += head;
            appendTabText(out, c.name);
            out += '\t';
            appendTabText(out, engine::History::exactText(c.before));
            out += '\t';
            appendTabText(out, engine::History::exactText(c.after));
            out += '\n';
        }
        write(out);
    }
    write(out, true);
    return 0;
}

int valuesOf(const std::string& dir, const std::string& table, const std::string& where) {
    auto db = logOn(dir);
    std::map<std::int64_t, std::string> samples;
    {
        std::string statement = "SELECT [ID], [Doziro Sample#] FROM [" + table + "]";
        if (!where.empty())
            statement += " Where (" + where + ")";
        engine::Query q(*db, statement);
        while (q.next())
            samples.emplace(q.integer(0), q.value(1).isNull() ? "" : q.value(1).toText());
    }
    std::string out =
        "ID\tSample\tAnalyte\tValue\tUnit\tQualifier\tMethod\tUncertainty\tReference\n";
    db->readValues(table, where, [&](const engine::StoredValue& s) {
        const engine::SampleValue& v = s.value;
        out += std::to_string(s.sample);
        out += '\t';
        if (const auto it = samples.find(s.sample); it != samples.end())
            appendTabText(out, it->second);
        out += '\t';
        appendTabText(out, v.analyte);
        out += '\t';
        if (v.value)
            appendNumber(out, v.value);
        else
            appendTabText(out, v.text);
        out += '\t';
        appendTabText(out, v.unit);
        out += '\t';
        if (v.qualifier)
            out += v.qualifier;
        out += '\t';
        appendTabText(out, v.method);
        out += '\t';
        appendNumber(out, v.uncertainty);
        out += '\t';
        appendTabText(out, v.reference);
        out += '\n';
        write(out);
        return true;
    });
    write(out, true);
    return 0;
}

} // namespace reports
