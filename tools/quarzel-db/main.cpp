// quarzel-db: creates the program's data files and runs statements on them.
#include "CommandView.h"
#include "FileCheck.h"
#include "Reports.h"
#include "SampleData.h"
#include "ServerInit.h"
#include "classify/Diagram.h"
#include "classify/NormalisingSets.h"
#include "exchange/CsvImport.h"
#include "exchange/CsvSource.h"
#include "exchange/ViewExport.h"
#include "map/GeoArea.h"
#include "map/SamplePositions.h"
#include "norm/NormTable.h"
#include "platform/db/DBEngine.h"
#include "platform/db/Database.h"
#include "platform/db/EngineError.h"
#include "platform/db/FreedMemory.h"

#include <QCoreApplication>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
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

// A file with bad rows is refused unless they are to be skipped.
// Samples the table holds already are left out unless told otherwise.
int importFile(const std::string& dir, const std::string& table, const std::string& file,
               bool skipBad, const std::string& sheet, CsvImport::Duplicates duplicates) {
    auto db = reports::logOn(dir);
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
    explicit StatementRows(CommandView& shown) : shown_(shown) {}
    long count() override { return shown_.rows(); }
    const std::vector<std::string>& fieldNames() override { return shown_.view().fieldNames(); }
    const engine::Value& cell(long row, int column) override {
        return shown_.view().valueAt(row, column);
    }

private:
    CommandView& shown_;
};

int exportView(const std::string& dir, const std::string& statement, const std::string& file) {
    CommandView shown(reports::logOn(dir), statement);
    StatementRows rows(shown);
    const long written = ViewExport::write(rows, file);
    std::cout << "exported " << written << " rows to " << file << "\n";
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    engine::keepLargeBlocksApart();
    // The views' timers and signals need an application; it is never
    // given the command's arguments.
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QCoreApplication application(qtArgc, qtArgv);
    // "--server CONNINFO" stands where a folder would: the arguments after
    // it keep their places.
    std::vector<char*> args(argv, argv + argc);
    std::string server;
    if (args.size() >= 4 && std::string(args[2]) == "--server") {
        server = std::string(reports::kServer) + args[3];
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
            return reports::query(dir, argv[3]);
        if (command == "query" && (argc == 5 || argc == 7) && std::string(argv[3]) == "--area") {
            // The samples whose position lies in the area, in the order of ID.
            std::string table = "DOZIRO1";
            if (argc == 7) {
                if (std::string(argv[5]) != "--table")
                    return usage();
                table = argv[6];
            }
            const geo::Area area = geo::Area::parse(argv[4]);
            return reports::query(dir, "SELECT * FROM " + geo::SamplePositions::bracketed(table) +
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
            return checkFile(reports::logOn(dir), argc == 4, std::cout);
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
            return reports::normRows(dir, table, where, iron, names);
        }
        if (command == "values") {
            std::string table = "DOZIRO1", where;
            for (int i = 3; i < argc; i += 2) {
                const std::string flag = argv[i];
                if (i + 1 >= argc || (flag != "--table" && flag != "--where"))
                    return usage();
                (flag == "--table" ? table : where) = argv[i + 1];
            }
            return reports::valuesOf(dir, table, where);
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
            return reports::historyOf(dir, table, sample, std::stoi(limit));
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
                return reports::classifyPattern(dir, table, where, pattern, *set);
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
            return reports::classify(dir, table, where, *diagram);
        }
        return usage();
    } catch (const engine::EngineError& e) {
        std::cerr << "quarzel-db: error " << e.number() << ": " << e.what() << "\n";
    } catch (const std::exception& e) {
        std::cerr << "quarzel-db: " << e.what() << "\n";
    }
    return 1;
}
