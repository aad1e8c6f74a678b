// quarzel-db: creates the program's data files and runs statements on them.
#include "SampleData.h"
#include "ServerInit.h"
#include "TabText.h"
#include "classify/Diagram.h"
#include "FileCheck.h"
#include "classify/DiscriminationView.h"
#include "classify/NormalisingSets.h"
#include "classify/PatternView.h"
#include "classify/TasDiagram.h"
#include "classify/TasView.h"
#include "exchange/CsvImport.h"
#include "exchange/CsvSource.h"
#include "exchange/ViewExport.h"
#include "map/GeoArea.h"
#include "map/SamplePositions.h"
#include "norm/NormTable.h"
#include "platform/db/DBEngine.h"
#include "platform/db/Database.h"
#include "platform/db/EngineError.h"
#include "platform/db/History.h"
#include "platform/db/Query.h"
#include "platform/db/Recordset.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace {

int usage() {
    std::cerr << "usage: quarzel-db create DIR [--rows N] [--seed S] [--values]\n"
                 "       quarzel-db query DIR \"STATEMENT\"\n"
                 "       quarzel-db query DIR --area W/E/S/N [--table T]\n"
                 "       quarzel-db classify DIR [--table T] [--where \"CONDITION\"]\n"
                 "                           [--diagram tas|tas-plutonic|k2o|afm|shand|\n"
                 "                                      harker:COLUMN]\n"
                 "       quarzel-db classify DIR --diagram pearce-rb-ynb|pearce-nb-y|\n"
                 "                 pearce-rb-ybta|pearce-ta-yb|ti-v|th-nb-yb|ti-nb-yb|\n"
                 "                 ti-zr-y|hf-th-ta|nb-zr-y\n"
                 "       quarzel-db classify DIR --diagram ree|spider [--set NAME]\n"
                 "                           [--table T] [--where \"CONDITION\"]\n"
                 "       quarzel-db norm DIR [--table T] [--where \"CONDITION\"]\n"
                 "                           [--iron volcanic|plutonic|middlemost|analysed]\n"
                 "                           [--names by-rock-name|volcanic|plutonic]\n"
                 "       quarzel-db values DIR [--table T] [--where \"CONDITION\"]\n"
                 "       quarzel-db history DIR [--table T] [--sample ID] [--limit N]\n"
                 "       quarzel-db import DIR TABLE FILE [--skip-bad] [--sheet NAME]\n"
                 "                 [--duplicates keep|replace]\n"
                 "       quarzel-db export DIR \"STATEMENT\" FILE\n"
                 "       quarzel-db check DIR [--repair]\n"
                 "       quarzel-db server-init DIR CONNINFO\n"
                 "Every command but create and check takes --server CONNINFO in place of DIR:\n"
                 "a libpq connection string (\"\" for the PG* environment variables).\n";
    return 2;
}

bool parseNumber(const std::string& text, long long& out) {
    try {
        std::size_t used = 0;
        out = std::stoll(text, &used);
        return used == text.size() && out >= 0;
    } catch (...) {
        return false;
    }
}

// Output gathered and written in large pieces; all of it when asked.
void write(std::string& out, bool all = false) {
    if (!all && out.size() < (1 << 16))
        return;
    std::fwrite(out.data(), 1, out.size(), stdout);
    out.clear();
    if (all)
        std::fflush(stdout);
}

constexpr const char* kServer = "server:";

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
    auto db = logOn(dir);
    auto rs = db->OpenRecordset(statement, true);
    std::string out;
    for (long i = 0; i < rs->RecordCount(); ++i) {
        for (int c = 0; c < rs->FieldCount(); ++c) {
            if (c)
                out += '\t';
            out += rs->valueAt(i, c).storedText();
        }
        out += '\n';
        write(out);
    }
    write(out, true);
    std::cout << rs->RecordCount() << " rows\n";
    return 0;
}

// Each row's place on a diagram (TAS unless named), volatile-free, in the
// order of ID: ID, the two coordinates (for AFM its A and F in per cent, on
// a log axis the quantity itself) and the class's name (for a row without
// a point on a trace-element diagram, why), then the rows of each class
// and of each reason for no point.
int classify(const std::string& dir, const std::string& table, const std::string& where,
             const chart::Diagram& diagram) {
    auto db = logOn(dir);
    // Blanks at every join: a condition ending in a number ("[SiO2] > 45")
    // must not run into the order.
    std::string statement = "SELECT * FROM [" + table + "]";
    if (!where.empty())
        statement += " Where (" + where + ")";
    statement += " Order By [ID] ASC";
    auto rs = db->OpenRecordset(statement, true);
    tas::ViewPoints view;
    const std::vector<std::int64_t> keys = rs->keys();
    chart::NoPointReasons why;
    const bool traces = !diagram.elements().empty();
    if (traces)
        chart::readTraceView(*db, rs->Table(), keys, diagram, -1, view, why);
    else
        tas::readView(*db, rs->Table(), keys, diagram, true, view);
    const auto& classes = diagram.classes();
    const std::string unclassed = diagram.unclassed();
    char line[320];
    std::string out;
    for (std::size_t i = 0; i < view.points.size(); ++i) {
        const tas::PackedPoint& p = view.points[i];
        const char* name = !p.valid      ? tas::kNoPoint
                           : p.field < 0 ? unclassed.c_str()
                                         : classes[static_cast<std::size_t>(p.field)].c_str();
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
        const std::string reason = why.ofRowText(diagram, static_cast<long>(i));
        if (p.valid && traces)
            std::snprintf(line, sizeof line, "%lld\t%.4g\t%.4g\t%s\n",
                          static_cast<long long>(keys[i]), x, y, name);
        else if (p.valid)
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

// The shortest text that reads back as the same number.
void appendNumber(std::string& out, const std::optional<double>& v) {
    if (!v)
        return;
    char buf[40];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, *v);
    out.append(buf, ec == std::errc() ? end : buf);
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

// A file with bad rows is refused unless they are to be skipped.
// Samples the table holds already are left out unless told otherwise.
int importFile(const std::string& dir, const std::string& table, const std::string& file,
               bool skipBad, const std::string& sheet, CsvImport::Duplicates duplicates) {
    auto db = logOn(dir);
    const CsvImport::Reading reading = CsvImport::read(file, nullptr, {}, sheet);
    if (const auto* sheets = std::get_if<SheetList>(&reading)) {
        // No one to ask here: the sheet is named with --sheet.
        std::cerr << "quarzel-db: " << sheets->question << "\n";
        return 1;
    }
    // Samples there already are met, and counted, as the rows are written.
    const ImportPlan& plan = std::get<ImportPlan>(reading);
    std::cerr << plan.describe();
    if (plan.bad && !skipBad) {
        std::cerr << "quarzel-db: nothing imported: " << plan.bad
                  << " bad rows (--skip-bad imports the others)\n";
        return 1;
    }
    long long stored = 0;
    long met = 0;
    const long written = CsvImport::run(*db, table, plan, {}, nullptr, &stored, duplicates, &met);
    std::cout << "imported " << written << " rows into " << table << "\n";
    std::cerr << CsvImport::summary(plan, written, stored, met, duplicates) << "\n";
    return 0;
}

// A statement's rows as the export writes them, in the statement's order.
class StatementRows : public ViewExport::Rows {
public:
    explicit StatementRows(engine::Recordset& rs) : rs_(rs) {}
    long count() override { return rs_.RecordCount(); }
    const std::vector<std::string>& fieldNames() override { return rs_.FieldNames(); }
    const engine::Value& cell(long row, int column) override { return rs_.valueAt(row, column); }

private:
    engine::Recordset& rs_;
};

int exportView(const std::string& dir, const std::string& statement, const std::string& file) {
    auto db = logOn(dir);
    auto rs = db->OpenRecordset(statement, true);
    StatementRows rows(*rs);
    const long written = ViewExport::write(rows, file);
    std::cout << "exported " << written << " rows to " << file << "\n";
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    // "--server CONNINFO" stands where a folder would: the arguments after
    // it keep their places.
    std::vector<char*> args(argv, argv + argc);
    std::string server;
    if (args.size() >= 4 && std::string(args[2]) == "--server") {
        server = std::string(kServer) + args[3];
        args.erase(args.begin() + 3);
        args[2] = server.data();
        argc = static_cast<int>(args.size());
        argv = args.data();
    }
    if (argc < 3)
        return usage();
    const std::string command = argv[1];
    const std::string dir = argv[2];
    try {
        if (command == "server-init" && argc == 4 && server.empty()) {
            serverInit(dir, argv[3], std::cout);
            return 0;
        }
        if (command == "create" && !server.empty())
            return usage();
        if (command == "create") {
            SampleData::Options options;
            for (int i = 3; i < argc; ++i) {
                const std::string flag = argv[i];
                if (flag == "--values") {
                    options.values = true;
                    continue;
                }
                long long n = 0;
                if (i + 1 >= argc || !parseNumber(argv[i + 1], n)) {
                    std::cerr << "quarzel-db: " << flag << " needs a whole number\n";
                    return 2;
                }
                ++i;
                if (flag == "--rows")
                    options.rows = static_cast<long>(n);
                else if (flag == "--seed")
                    options.seed = static_cast<std::uint64_t>(n);
                else
                    return usage();
            }
            SampleData::create(dir, options);
            std::cout << "created " << dir << " with " << options.rows << " rows in DOZIRO1\n";
            return 0;
        }
        if (command == "query" && argc == 4)
            return query(dir, argv[3]);
        if (command == "query" && (argc == 5 || argc == 7) && std::string(argv[3]) == "--area") {
            // The samples whose position lies in the area, in the order of ID.
            std::string table = "DOZIRO1";
            if (argc == 7) {
                if (std::string(argv[5]) != "--table")
                    return usage();
                table = argv[6];
            }
            const geo::Area area = geo::Area::parse(argv[4]);
            return query(dir, "SELECT * FROM " + geo::SamplePositions::bracketed(table) +
                                  " Where " + area.condition(table) + " Order By [ID]");
        }
        if (command == "import" && argc >= 5) {
            bool skipBad = false;
            std::string sheet;
            auto duplicates = CsvImport::Duplicates::Skip;
            for (int i = 5; i < argc; ++i) {
                const std::string flag = argv[i];
                if (flag == "--skip-bad")
                    skipBad = true;
                else if (flag == "--sheet" && i + 1 < argc)
                    sheet = argv[++i];
                else if (flag == "--duplicates" && i + 1 < argc &&
                         (std::string(argv[i + 1]) == "keep" ||
                          std::string(argv[i + 1]) == "replace"))
                    duplicates = std::string(argv[++i]) == "keep" ? CsvImport::Duplicates::Keep
                                                                  : CsvImport::Duplicates::Replace;
                else
                    return usage();
            }
            return importFile(dir, argv[3], argv[4], skipBad, sheet, duplicates);
        }
        if (command == "check" && server.empty() &&
            (argc == 3 || (argc == 4 && std::string(argv[3]) == "--repair")))
            return checkFile(logOn(dir), argc == 4, std::cout);
        if (command == "export" && argc == 5)
            return exportView(dir, argv[3], argv[4]);
        if (command == "norm") {
            std::string table = "DOZIRO1", where;
            norm::IronChoice iron = norm::IronChoice::Volcanic;
            norm::Names names = norm::Names::ByRockName;
            for (int i = 3; i < argc; i += 2) {
                const std::string flag = argv[i];
                if (i + 1 >= argc)
                    return usage();
                if (flag == "--table" || flag == "--where")
                    (flag == "--table" ? table : where) = argv[i + 1];
                else if (flag == "--iron") {
                    const auto choice = norm::ironFromKeyword(argv[i + 1]);
                    if (!choice) {
                        std::cerr << "quarzel-db: --iron takes volcanic, plutonic, middlemost "
                                     "or analysed, not '"
                                  << argv[i + 1] << "'\n";
                        return 2;
                    }
                    iron = *choice;
                } else if (flag == "--names") {
                    bool known = false;
                    for (norm::Names n :
                         {norm::Names::ByRockName, norm::Names::Volcanic, norm::Names::Plutonic})
                        if (argv[i + 1] == std::string(norm::namesKeyword(n))) {
                            names = n;
                            known = true;
                        }
                    if (!known) {
                        std::cerr << "quarzel-db: --names takes by-rock-name, volcanic or "
                                     "plutonic, not '"
                                  << argv[i + 1] << "'\n";
                        return 2;
                    }
                } else
                    return usage();
            }
            return normRows(dir, table, where, iron, names);
        }
        if (command == "values") {
            std::string table = "DOZIRO1", where;
            for (int i = 3; i < argc; i += 2) {
                const std::string flag = argv[i];
                if (i + 1 >= argc || (flag != "--table" && flag != "--where"))
                    return usage();
                (flag == "--table" ? table : where) = argv[i + 1];
            }
            return valuesOf(dir, table, where);
        }
        if (command == "history") {
            std::string table = "DOZIRO1", sample, limit = "100";
            for (int i = 3; i < argc; i += 2) {
                const std::string flag = argv[i];
                if (i + 1 >= argc || (flag != "--table" && flag != "--sample" && flag != "--limit"))
                    return usage();
                (flag == "--table" ? table : flag == "--sample" ? sample : limit) = argv[i + 1];
            }
            const auto number = [](const std::string& t) {
                return !t.empty() && t.find_first_not_of("0123456789") == std::string::npos &&
                       t.size() < 12;
            };
            if ((!sample.empty() && !number(sample)) || !number(limit))
                return usage();
            return historyOf(dir, table, sample, std::stoi(limit));
        }
        if (command == "classify") {
            std::string table = "DOZIRO1", where, kind = "tas", setName;
            for (int i = 3; i < argc; i += 2) {
                const std::string flag = argv[i];
                if (i + 1 >= argc || (flag != "--table" && flag != "--where" &&
                                      flag != "--diagram" && flag != "--set"))
                    return usage();
                (flag == "--table"   ? table
                 : flag == "--where" ? where
                 : flag == "--set"   ? setName
                                     : kind) = argv[i + 1];
            }
            if (kind == "ree" || kind == "spider") {
                const auto pattern =
                    kind == "ree" ? trace::PatternKind::Ree : trace::PatternKind::MultiElement;
                const trace::NormalisingSet* set =
                    setName.empty() ? &trace::defaultSet(pattern) : trace::findSet(setName);
                if (!set) {
                    std::cerr << "quarzel-db: --set takes";
                    for (const auto& s : trace::normalisingSets())
                        std::cerr << " " << s.keyword;
                    std::cerr << ", not '" << setName << "'\n";
                    return 2;
                }
                return classifyPattern(dir, table, where, pattern, *set);
            }
            if (!setName.empty())
                return usage(); // a set normalises patterns only
            const auto diagram = chart::makeDiagram(kind);
            if (!diagram) {
                std::cerr << "quarzel-db: --diagram takes tas, k2o, afm, shand, harker:COLUMN "
                             "(an analysis column, Mg# or FeOT), ree, spider";
                for (const std::string& k : chart::discriminationKeywords())
                    std::cerr << ", " << k;
                std::cerr << ", not '" << kind << "'\n";
                return 2;
            }
            return classify(dir, table, where, *diagram);
        }
        return usage();
    } catch (const engine::EngineError& e) {
        std::cerr << "quarzel-db: error " << e.number() << ": " << e.what() << "\n";
    } catch (const std::exception& e) {
        std::cerr << "quarzel-db: " << e.what() << "\n";
    }
    return 1;
}
