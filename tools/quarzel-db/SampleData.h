#pragma once

#include <array>
#include <cstdint>
#include <string>

// Creates the program's database file and its workgroup file, filled with
// analyses generated from published average compositions of igneous rocks.
class SampleData {
public:
    struct Options {
        long rows = 2417;
        std::uint64_t seed = 1;
        std::array<long, 3> projectRows{36, 30, 24};
        // Values beside the main table's rows (place, material, trace
        // elements, isotopes, with their references), for trying the store.
        bool values = false;
    };

    static constexpr const char* kDatabaseName = "quarzdb32.mdb";
    static constexpr const char* kWorkgroupName = "tarnvel.mdw";
    static constexpr const char* kUser = "quarzel";
    static constexpr const char* kPassword = "ridge38uk";

    // Writes DIR/quarzdb32.mdb and DIR/tarnvel.mdw. Each file is written
    // under a temporary name and renamed into place when it is complete.
    static void create(const std::string& dir, const Options& options);
};
