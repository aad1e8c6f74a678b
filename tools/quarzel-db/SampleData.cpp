#include "SampleData.h"

#include "Rng.h"
#include "platform/db/Database.h"
#include "platform/db/EngineError.h"
#include "platform/db/Workgroup.h"
#include "platform/db/sqlite/Statement.h"
#include "schema/Schema.h"

#include <sodium.h>
#include <sqlite3.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <utility>
#include <vector>

namespace {

// Average compositions (wt%) after Cox, Bell & Pankhurst (1979), in the order
// SiO2 TiO2 Al2O3 Fe2O3 FeO MnO MgO CaO Na2O K2O H2O+ H2O- P2O5 CO2.
struct Rock {
    const char* name;
    double oxide[14];
};
const Rock kRocks[] = {
    {"Nepheline syenite",
     {54.99, 0.60, 20.96, 2.25, 2.05, 0.15, 0.77, 2.31, 8.23, 5.58, 1.30, 0.17, 0.13, 0.20}},
    {"Phonolite",
     {56.19, 0.62, 19.04, 2.79, 2.03, 0.17, 1.07, 2.72, 7.79, 5.24, 1.57, 0.37, 0.18, 0.08}},
    {"Syenite",
     {58.58, 0.84, 16.64, 3.04, 3.13, 0.13, 1.87, 3.53, 5.24, 4.95, 0.99, 0.23, 0.29, 0.28}},
    {"Trachyte",
     {61.21, 0.70, 16.96, 2.99, 2.29, 0.15, 0.93, 2.34, 5.47, 4.98, 1.15, 0.47, 0.21, 0.09}},
    {"Granite",
     {71.30, 0.31, 14.32, 1.21, 1.64, 0.05, 0.71, 1.84, 3.68, 4.07, 0.64, 0.13, 0.12, 0.05}},
    {"Rhyolite",
     {72.82, 0.28, 13.27, 1.48, 1.11, 0.06, 0.39, 1.14, 3.55, 4.30, 1.10, 0.31, 0.07, 0.08}},
    {"Adamellite",
     {68.65, 0.54, 14.55, 1.23, 2.70, 0.08, 1.14, 2.68, 3.47, 4.00, 0.59, 0.19, 0.19, 0.09}},
    {"Granodiorite",
     {66.09, 0.54, 15.73, 1.38, 2.73, 0.08, 1.74, 3.83, 3.75, 2.73, 0.85, 0.19, 0.18, 0.08}},
    {"Rhyodacite",
     {65.55, 0.60, 15.04, 2.13, 2.03, 0.09, 2.09, 3.62, 3.67, 3.00, 1.09, 0.42, 0.25, 0.21}},
    {"Dacite",
     {65.01, 0.58, 15.91, 2.43, 2.30, 0.09, 1.78, 4.32, 3.79, 2.17, 0.91, 0.28, 0.15, 0.06}},
    {"Tonalite",
     {61.52, 0.73, 16.48, 1.83, 3.82, 0.08, 2.80, 5.42, 3.63, 2.07, 1.04, 0.20, 0.25, 0.14}},
    {"Diorite",
     {57.48, 0.95, 16.67, 2.50, 4.92, 0.12, 3.71, 6.58, 3.54, 1.76, 1.15, 0.21, 0.29, 0.10}},
    {"Andesite",
     {57.94, 0.87, 17.02, 3.27, 4.04, 0.14, 3.33, 6.79, 3.48, 1.62, 0.83, 0.34, 0.21, 0.05}},
    {"Monzonite",
     {62.60, 0.78, 15.65, 1.92, 3.08, 0.10, 2.02, 4.17, 3.73, 4.06, 0.90, 0.19, 0.25, 0.08}},
    {"Latite",
     {61.25, 0.81, 16.01, 3.28, 2.07, 0.09, 2.22, 4.34, 3.71, 3.87, 1.09, 0.57, 0.33, 0.19}},
    {"Trachyandesite",
     {58.15, 1.08, 16.70, 3.26, 3.21, 0.16, 2.57, 4.96, 4.35, 3.21, 1.25, 0.58, 0.41, 0.08}},
    {"Mugearite",
     {50.52, 2.09, 16.71, 4.88, 5.86, 0.26, 3.20, 6.14, 4.73, 2.46, 1.27, 0.87, 0.75, 0.15}},
    {"Trachybasalt",
     {49.21, 2.40, 16.63, 3.69, 6.18, 0.16, 5.17, 7.90, 3.96, 2.55, 0.98, 0.49, 0.59, 0.10}},
    {"Hawaiite",
     {47.48, 3.23, 15.74, 4.94, 7.36, 0.19, 5.58, 7.91, 3.97, 1.53, 0.79, 0.55, 0.74, 0.04}},
    {"Gabbro",
     {50.14, 1.12, 15.48, 3.01, 7.62, 0.12, 7.59, 9.58, 2.39, 0.93, 0.75, 0.11, 0.24, 0.07}},
    {"Norite",
     {50.44, 1.00, 16.28, 2.21, 7.39, 0.14, 8.73, 9.41, 2.26, 0.70, 0.84, 0.13, 0.15, 0.18}},
    {"Dolerite",
     {50.18, 1.14, 15.26, 2.86, 8.05, 0.19, 6.78, 9.24, 2.56, 1.04, 1.46, 0.43, 0.27, 0.18}},
    {"Basalt",
     {49.20, 1.84, 15.74, 3.79, 7.13, 0.20, 6.73, 9.47, 2.91, 1.10, 0.95, 0.43, 0.35, 0.11}},
    {"Basanite",
     {44.30, 2.51, 14.70, 3.94, 7.50, 0.16, 8.54, 10.19, 3.55, 1.96, 1.20, 0.42, 0.74, 0.18}},
    {"Nephelinite",
     {40.60, 2.66, 14.33, 5.48, 6.17, 0.26, 6.39, 11.89, 4.79, 3.46, 1.65, 0.54, 1.07, 0.60}},
    {"Tephrite",
     {47.80, 1.76, 17.00, 4.12, 5.22, 0.15, 4.70, 9.18, 3.69, 4.49, 1.03, 0.22, 0.63, 0.02}},
    {"Anorthosite",
     {50.28, 0.64, 25.86, 0.96, 2.07, 0.05, 2.12, 12.48, 3.15, 0.65, 1.17, 0.14, 0.09, 0.14}},
    {"Pyroxenite",
     {46.27, 1.47, 7.16, 4.27, 7.18, 0.16, 16.04, 14.08, 0.92, 0.64, 0.99, 0.14, 0.38, 0.13}},
    {"Peridotite",
     {42.26, 0.63, 4.23, 3.61, 6.58, 0.41, 31.24, 5.05, 0.49, 0.34, 3.91, 0.31, 0.10, 0.30}},
    {"Dunite",
     {38.29, 0.09, 1.82, 3.59, 9.38, 0.71, 37.94, 1.01, 0.20, 0.08, 4.59, 0.25, 0.20, 0.43}},
};
// Relative standard deviation of each oxide above: a few percent for the
// major oxides, more for the minor ones and the volatiles.
const double kSpread[14] = {0.02, 0.20, 0.04, 0.12, 0.10, 0.25, 0.10,
                            0.08, 0.08, 0.10, 0.25, 0.30, 0.25, 0.30};
using schema::Column;
// Where each of the 14 oxides goes among the table's columns.
const Column kOxideColumn[14] = {Column::SiO2, Column::TiO2, Column::Al2O3,   Column::Fe2O3,
                                 Column::FeO,  Column::MnO,  Column::MgO,     Column::CaO,
                                 Column::Na2O, Column::K2O,  Column::H2OPlus, Column::H2OMinus,
                                 Column::P2O5, Column::CO2};
// Its place among the insert's parameters, which list every column.
int parameter(Column c) {
    return schema::index(c) + 1;
}

const char* kQualifiers[] = {"",           "",
                             "",           "Olivine ",
                             "Alkali ",    "Porphyritic ",
                             "Altered ",   "Fine-grained ",
                             "Vesicular ", "Hornblende "};
const char* kGeologists[] = {"M. Aldous",    "R. O'Brien",   "K. Ndlovu",     "S. Petrova",
                             "J. Whitcombe", "L. Marchetti", "A. Haddad",     "T. Nakamura",
                             "E. Lindqvist", "P. Okafor",    "C. Dubois",     "H. Brennan",
                             "D. Kowalczyk", "F. Almeida",   "G. Tremblay",   "N. Farouk",
                             "B. Ashworth",  "I. Sorensen",  "V. Castellano", "W. Pemberton",
                             "Y. Kariuki",   "Z. Horvath",   "O. MacLeod",    "U. Esterhuizen"};
const char* kPlaces[] = {"Aïn Témouchent", "Glen Carrick", "Harrow Fell",   "Skerry Point",
                         "Mount Ossory",   "Tarnvel Moor", "Quarzel Bay",   "Bryn Ddu",
                         "Kalahari Flats", "Loch Ainort",  "Coire Dubh",    "Puy de Lavant",
                         "Strand Head",    "Rockall Bank", "Vatnajok Edge", "Söderhamn",
                         "Cabo Negro",     "Pico Alto",    "Kopje Hill",    "Drakes Scar"};
const char* kFeatures[] = {"quarry site", "north ridge", "south ridge", "road cut",
                           "drill site",  "outcrop",     "sea cliff",   "stream bed"};

[[noreturn]] void sqlFail(sqlite3* db, const std::string& what) {
    throw std::runtime_error(what + ": " + sqlite3_errmsg(db));
}

void exec(sqlite3* db, const std::string& sql) {
    char* msg = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &msg) != SQLITE_OK) {
        std::string m = msg ? msg : "";
        sqlite3_free(msg);
        throw std::runtime_error("Cannot write the database: " + m);
    }
}

void fillTable(sqlite3* db, const std::string& table, long rows, Rng& rng,
               const std::string& samplePrefix) {
    std::string sql = "INSERT INTO [" + table + "] VALUES (";
    for (int i = 0; i < schema::kColumnCount; ++i)
        sql += i ? ", ?" : "?";
    sql += ")";
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK)
        sqlFail(db, "Cannot prepare the sample rows");
    engine::Statement st(raw);
    char text[64];
    for (long r = 0; r < rows; ++r) {
        const Rock& rock = kRocks[rng.below(std::size(kRocks))];
        std::string name = kQualifiers[rng.below(std::size(kQualifiers))];
        name += name.empty() ? std::string(rock.name)
                             : std::string(1, static_cast<char>(std::tolower(rock.name[0]))) +
                                   (rock.name + 1);
        sqlite3_bind_text(raw, parameter(Column::Rockname), name.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(raw, parameter(Column::Geologist),
                          kGeologists[rng.below(std::size(kGeologists))], -1, SQLITE_STATIC);
        std::snprintf(text, sizeof text, "%04ld-%02ld-%02ld", 1962 + rng.below(38),
                      1 + rng.below(12), 1 + rng.below(28));
        sqlite3_bind_text(raw, parameter(Column::Date), text, -1, SQLITE_TRANSIENT);
        std::string location = std::string(kPlaces[rng.below(std::size(kPlaces))]) + ", " +
                               kFeatures[rng.below(std::size(kFeatures))];
        sqlite3_bind_text(raw, parameter(Column::Location), location.c_str(), -1, SQLITE_TRANSIENT);
        std::snprintf(text, sizeof text, "%s-%06ld", samplePrefix.c_str(), r + 1);
        sqlite3_bind_text(raw, parameter(Column::SampleNumber), text, -1, SQLITE_TRANSIENT);

        double values[schema::kColumnCount] = {};
        bool present[schema::kColumnCount] = {};
        double sum = 0;
        for (int k = 0; k < 14; ++k) {
            double v = rock.oxide[k] * (1.0 + kSpread[k] * rng.normal());
            v = std::max(v, 0.0);
            values[schema::at(kOxideColumn[k])] = v;
            present[schema::at(kOxideColumn[k])] = true;
            sum += v;
        }
        // Minor constituents: often not determined.
        const std::pair<Column, double> minor[6] = {{Column::Cl, 0.05},    {Column::F, 0.06},
                                                    {Column::S, 0.04},     {Column::SO3, 0.05},
                                                    {Column::Cr2O3, 0.03}, {Column::ZrO2, 0.04}};
        for (const auto& [column, typical] : minor) {
            const std::size_t c = schema::at(column);
            if (rng.uniform() < 0.6) {
                values[c] = std::max(0.0, typical * (1.0 + 0.5 * rng.normal()));
                present[c] = true;
                sum += values[c];
            }
        }
        // Analyses close to 100 %, as a laboratory reports them.
        const double target = 98.6 + 2.3 * rng.uniform();
        double total = 0;
        for (int c = schema::kFirstAnalysisColumn; c < schema::index(Column::Total); ++c) {
            if (!present[c])
                continue;
            values[c] = std::round(values[c] * target / sum * 100.0) / 100.0;
            total += values[c];
        }
        values[schema::at(Column::Total)] = std::round(total * 100.0) / 100.0;
        present[schema::at(Column::Total)] = true;
        for (int c = schema::index(Column::Trace1); c <= schema::kLastAnalysisColumn; ++c) {
            if (rng.uniform() < 0.7) {
                values[c] = std::round(std::exp(3.0 + 3.0 * rng.uniform()) * 10.0) / 10.0;
                present[c] = true;
            }
        }
        for (int c = schema::kFirstAnalysisColumn; c <= schema::kLastAnalysisColumn; ++c) {
            if (present[c])
                sqlite3_bind_double(raw, c + 1, values[c]);
            else
                sqlite3_bind_null(raw, c + 1);
        }
        sqlite3_bind_null(raw, schema::kIdColumn + 1);
        if (sqlite3_step(raw) != SQLITE_DONE)
            sqlFail(db, "Cannot write a sample row");
        sqlite3_reset(raw);
    }
}

std::string newIdentity() {
    if (sodium_init() < 0)
        throw std::runtime_error("The random number source could not be started.");
    unsigned char bytes[16];
    randombytes_buf(bytes, sizeof bytes);
    char hex[sizeof bytes * 2 + 1];
    sodium_bin2hex(hex, sizeof hex, bytes, sizeof bytes);
    return hex;
}

} // namespace

// Eight values a row, from a generator of their own so that the rows are
// the same with values or without.
void addSampleValues(const std::string& dbPath, const std::string& wgPath, std::uint64_t seed) {
    const engine::Workgroup wg =
        engine::Workgroup::logOn(wgPath, SampleData::kUser, SampleData::kPassword);
    auto db = engine::Database::open(dbPath, wg, false);
    const char* const references[] = {
        "Hartmann, K. & Lindqvist, O. (1998). Trace elements of the Skarvik lavas. Journal of "
        "Volcanic Studies 41, 113-140.",
        "Moreau, C. (2004). Isotopes of an island arc. Lithos Reports 12, 1-22."};
    std::vector<std::int64_t> ids;
    {
        sqlite3* raw = nullptr;
        sqlite3_open_v2(dbPath.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
        std::unique_ptr<sqlite3, int (*)(sqlite3*)> file(raw, sqlite3_close);
        sqlite3_stmt* s = nullptr;
        sqlite3_prepare_v2(raw, "SELECT ID FROM DOZIRO1 ORDER BY ID", -1, &s, nullptr);
        engine::Statement st(s);
        while (s && sqlite3_step(s) == SQLITE_ROW)
            ids.push_back(sqlite3_column_int64(s, 0));
    }
    Rng rng(seed ^ 0x5a17e5ull);
    db->Begin();
    std::vector<engine::SampleValue> values;
    for (std::int64_t id : ids) {
        values.clear();
        auto add = [&](const char* analyte, const char* unit, const char* method,
                       std::optional<double> v, const char* text, const char* reference) {
            engine::SampleValue x;
            x.analyte = analyte;
            x.unit = unit;
            x.method = method;
            x.value = v;
            x.text = text;
            x.reference = reference;
            values.push_back(std::move(x));
        };
        auto round = [](double v, double perUnit) { return std::round(v * perUnit) / perUnit; };
        add("Latitude", "", "", round(-60 + 130 * rng.uniform(), 1e4), "", "");
        add("Longitude", "", "", round(-180 + 360 * rng.uniform(), 1e4), "", "");
        add("Material", "", "", std::nullopt, "whole rock", "");
        const char* ref = references[rng.below(2)];
        add("La", "ppm", "ICP-MS", round(2 + 60 * rng.uniform(), 100), "", ref);
        add("Rb", "ppm", "XRF", round(0.2 + 120 * rng.uniform() * rng.uniform(), 10), "", ref);
        if (*values.back().value < 1) { // below the XRF's limit
            values.back().qualifier = '<';
            values.back().value = 1;
        }
        add("87Sr/86Sr", "", "TIMS", round(0.7025 + 0.008 * rng.uniform(), 1e6), "", ref);
        values.back().uncertainty = 0.000012;
        add("εNd", "", "TIMS", round(-6 + 14 * rng.uniform(), 10), "", ref);
        add("δ18O", "‰", "", round(5 + 3 * rng.uniform(), 10), "", ref);
        db->addValues("DOZIRO1", id, values);
    }
    db->Commit();
}

void SampleData::create(const std::string& dir, const Options& options) {
    namespace fs = std::filesystem;
    fs::create_directories(dir);
    const std::string dbPath = (fs::path(dir) / kDatabaseName).string();
    const std::string wgPath = (fs::path(dir) / kWorkgroupName).string();
    const std::string dbTemp = dbPath + ".new";
    const std::string wgTemp = wgPath + ".new";
    fs::remove(dbTemp);

    const std::string identity = newIdentity();
    {
        sqlite3* raw = nullptr;
        if (sqlite3_open_v2(dbTemp.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                            nullptr) != SQLITE_OK) {
            sqlite3_close(raw);
            throw std::runtime_error("Cannot create '" + dbTemp + "'.");
        }
        std::unique_ptr<sqlite3, int (*)(sqlite3*)> db(raw, sqlite3_close);
        exec(db.get(), "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; PRAGMA page_size=4096;");
        exec(db.get(), "BEGIN");
        exec(db.get(), "CREATE TABLE quarzel_meta(key TEXT PRIMARY KEY, value TEXT NOT NULL)");
        exec(db.get(), "INSERT INTO quarzel_meta VALUES('identity', '" + identity + "')");
        Rng rng(options.seed);
        for (std::size_t t = 0; t < schema::kTables.size(); ++t) {
            const std::string table = schema::kTables[t];
            exec(db.get(), schema::createTableSql(table));
            long rows = t == 0 ? options.rows : options.projectRows[t - 1];
            fillTable(db.get(), table, rows, rng, t == 0 ? "DZ" : "P" + std::to_string(t));
            exec(db.get(), schema::createIndexesSql(table));
            exec(db.get(), schema::createTrigramSql(table));
        }
        exec(db.get(), "COMMIT");
        exec(db.get(), "PRAGMA journal_mode=DELETE");
    }

    engine::TablePermissions all{true, true, true, true};
    engine::Workgroup::Account account{kUser, kPassword, {}};
    for (const char* t : schema::kTables)
        account.tables[t] = all;
    engine::Workgroup::create(wgTemp, identity, {account});
    if (options.values)
        addSampleValues(dbTemp, wgTemp, options.seed);

    fs::rename(dbTemp, dbPath);
    fs::rename(wgTemp, wgPath);
}
