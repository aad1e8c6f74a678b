// quarzel-db: creates the program's data files and runs statements on them.
#include "SampleData.h"
#include "platform/db/DBEngine.h"
#include "platform/db/Database.h"
#include "platform/db/EngineError.h"
#include "platform/db/Recordset.h"

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>

namespace {

int usage() {
    std::cerr << "usage: quarzel-db create DIR [--rows N] [--seed S]\n"
                 "       quarzel-db query DIR \"STATEMENT\"\n";
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

int query(const std::string& dir, const std::string& statement) {
    namespace fs = std::filesystem;
    auto& engine = engine::DBEngine::instance();
    engine.SystemDB = (fs::path(dir) / SampleData::kWorkgroupName).string();
    engine.DefaultUser = SampleData::kUser;
    engine.DefaultPassword = SampleData::kPassword;
    auto db =
        engine.Workspaces(0).OpenDatabase((fs::path(dir) / SampleData::kDatabaseName).string());
    auto rs = db->OpenRecordset(statement, true);
    std::string line;
    for (long i = 0; i < rs->RecordCount(); ++i) {
        line.clear();
        for (int c = 0; c < rs->FieldCount(); ++c) {
            if (c)
                line += '\t';
            line += rs->valueAt(i, c).storedText();
        }
        line += '\n';
        std::cout << line;
    }
    std::cout << rs->RecordCount() << " rows\n";
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3)
        return usage();
    const std::string command = argv[1];
    const std::string dir = argv[2];
    try {
        if (command == "create") {
            SampleData::Options options;
            for (int i = 3; i < argc; ++i) {
                const std::string flag = argv[i];
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
        return usage();
    } catch (const engine::EngineError& e) {
        std::cerr << "quarzel-db: error " << e.number() << ": " << e.what() << "\n";
    } catch (const std::exception& e) {
        std::cerr << "quarzel-db: " << e.what() << "\n";
    }
    return 1;
}
