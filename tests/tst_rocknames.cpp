// The names the norm gives: the refined TAS names at both sides of each
// limit, the plutonic names and which rows take them, and published
// averages named from their analyses.
#include "classify/TasDiagram.h"
#include "norm/Analysis.h"
#include "norm/CipwNorm.h"
#include "norm/RockName.h"
#include "schema/Column.h"
#include "schema/Schema.h"

#include <QtTest>

#include <utility>
#include <vector>

using namespace norm;

namespace {

int field(const char* name) {
    for (std::size_t f = 0; f < tas::fields().size(); ++f)
        if (std::string(tas::fields()[f].name) == name)
            return static_cast<int>(f);
    return -1;
}

// A norm in a TAS field (none: outside) of a plain composition, a naming
// rule's values put in.
Norm plainNorm(const char* tasField, std::initializer_list<std::pair<Oxide, double>> oxides,
               std::initializer_list<std::pair<Mineral, double>> minerals) {
    Norm n;
    n.valid = true;
    n.tasField = tasField ? field(tasField) : -1;
    const std::pair<Oxide, double> base[] = {{SiO2, 50}, {TiO2, 1.5}, {Al2O3, 15},
                                             {MgO, 6},   {Na2O, 3},   {K2O, 1}};
    for (const auto& [o, v] : base)
        n.adjusted[o] = v;
    for (const auto& [o, v] : oxides)
        n.adjusted[o] = v;
    for (const auto& [m, v] : minerals)
        n.mineral[m] = v;
    return n;
}

} // namespace

class TestRockNames : public QObject {
    Q_OBJECT
private slots:
    void namesFollowTheirLimits() {
        const auto named = [](const char* tasField,
                              std::initializer_list<std::pair<Oxide, double>> oxides,
                              std::initializer_list<std::pair<Mineral, double>> minerals = {}) {
            return QString::fromStdString(rockName(plainNorm(tasField, oxides, minerals)));
        };
        QCOMPARE(named("Tephrite / basanite", {}, {{Ol, 10.01}}), QString("Basanite"));
        QCOMPARE(named("Tephrite / basanite", {}, {{Ol, 10.0}}), QString("Tephrite"));
        // q = 100 Q / (Q + Or + Ab + An): 20.01 and 20.
        QCOMPARE(named("Trachyte / trachydacite", {{SiO2, 64}, {Na2O, 5}, {K2O, 5}},
                       {{Q, 20.01}, {Or, 30}, {Ab, 39.99}, {An, 10}}),
                 QString("Trachydacite"));
        QCOMPARE(named("Trachyte / trachydacite", {{SiO2, 64}, {Na2O, 5}, {K2O, 5}},
                       {{Q, 20}, {Or, 30}, {Ab, 40}, {An, 10}}),
                 QString("Trachyte"));
        // Peralkaline: molar Na2O + K2O against Al2O3.
        const double al = 10,
                     naAtLimit = (al / molarMass(Al2O3) - 5 / molarMass(K2O)) * molarMass(Na2O);
        QCOMPARE(named("Trachyte / trachydacite", {{Al2O3, al}, {K2O, 5}, {Na2O, naAtLimit + 0.01}},
                       {{Q, 5}, {Or, 30}, {Ab, 40}}),
                 QString("Peralkaline trachyte"));
        QCOMPARE(named("Trachyte / trachydacite", {{Al2O3, al}, {K2O, 5}, {Na2O, naAtLimit - 0.01}},
                       {{Q, 5}, {Or, 30}, {Ab, 40}}),
                 QString("Trachyte"));
        QCOMPARE(named("Rhyolite", {{Al2O3, al}, {K2O, 5}, {Na2O, naAtLimit + 0.01}}),
                 QString("Peralkaline rhyolite"));
        QCOMPARE(named("Rhyolite", {{Al2O3, al}, {K2O, 5}, {Na2O, naAtLimit - 0.01}}),
                 QString("Rhyolite"));
        QCOMPARE(named("Basalt", {}, {{Ne, 0.01}}), QString("Alkali basalt"));
        QCOMPARE(named("Basalt", {}, {{Q, 0.01}}), QString("Subalkali basalt"));
        // Na2O - 2 >= K2O: sodic at the limit itself.
        const std::pair<const char*, std::pair<const char*, const char*>> row[] = {
            {"Trachybasalt", {"Hawaiite", "Potassic trachybasalt"}},
            {"Basaltic trachyandesite", {"Mugearite", "Shoshonite"}},
            {"Trachyandesite", {"Benmoreite", "Latite"}}};
        for (const auto& [tasName, names] : row) {
            QCOMPARE(named(tasName, {{Na2O, 4.5}, {K2O, 2.5}}), QString(names.first));
            QCOMPARE(named(tasName, {{Na2O, 4.5}, {K2O, 2.51}}), QString(names.second));
        }
        // High-Mg names come before the field's.
        QCOMPARE(named("Basalt", {{MgO, 12.01}, {Na2O, 2}, {K2O, 0.99}}), QString("Picrite"));
        QCOMPARE(named("Basalt", {{MgO, 12.0}, {Na2O, 2}, {K2O, 0.99}}),
                 QString("Subalkali basalt"));
        QCOMPARE(named("Basalt", {{MgO, 13}, {Na2O, 2}, {K2O, 1.0}}), QString("Subalkali basalt"));
        QCOMPARE(named("Picrobasalt", {{SiO2, 30}, {MgO, 13}, {Na2O, 1}, {K2O, 1}}),
                 QString("Picrite"));
        QCOMPARE(named(nullptr, {{SiO2, 29.99}, {MgO, 13}, {Na2O, 1}, {K2O, 1}}),
                 QString(tas::kOutside));
        QCOMPARE(named("Basalt", {{MgO, 18.01}, {Na2O, 1}, {K2O, 0.99}, {TiO2, 0.99}}),
                 QString("Komatiite"));
        QCOMPARE(named("Basalt", {{MgO, 18.01}, {Na2O, 1}, {K2O, 0.99}, {TiO2, 1.01}}),
                 QString("Meimechite"));
        QCOMPARE(named("Basalt", {{MgO, 18.0}, {Na2O, 1}, {K2O, 0.99}, {TiO2, 0.5}}),
                 QString("Picrite"));
        QCOMPARE(named("Basalt", {{MgO, 18.01}, {Na2O, 1}, {K2O, 1.0}, {TiO2, 0.5}}),
                 QString("Picrite"));
        QCOMPARE(named("Basaltic andesite", {{SiO2, 52.01}, {MgO, 8.01}, {TiO2, 0.49}}),
                 QString("Boninite"));
        QCOMPARE(named("Basaltic andesite", {{SiO2, 52.01}, {MgO, 8.0}, {TiO2, 0.49}}),
                 QString("Basaltic andesite"));
        QCOMPARE(named("Basaltic andesite", {{SiO2, 52.01}, {MgO, 8.01}, {TiO2, 0.5}}),
                 QString("Basaltic andesite"));
        QCOMPARE(named("Andesite", {{SiO2, 58}}), QString("Andesite"));
    }

    // A plutonic rock takes the plutonic rock of its field (Middlemost 1994),
    // refinements carried over and no high-Mg volcanic name; which rows are
    // plutonic follows the rock name unless the user chooses.
    void plutonicRocksTakeTheirFieldsPlutonicNames() {
        const auto named = [](const char* tasField, Names names,
                              std::initializer_list<std::pair<Oxide, double>> oxides = {},
                              std::initializer_list<std::pair<Mineral, double>> minerals = {},
                              bool namedPlutonic = false) {
            Norm n = plainNorm(tasField, oxides, minerals);
            n.namedPlutonic = namedPlutonic;
            return QString::fromStdString(rockName(n, names));
        };
        const Names P = Names::Plutonic;
        const std::pair<const char*, const char*> plain[] = {
            {"Picrobasalt", "Peridotgabbro"},
            {"Basaltic andesite", "Gabbroic diorite"},
            {"Andesite", "Diorite"},
            {"Dacite", "Granodiorite"},
            {"Phonotephrite", "Foid monzodiorite"},
            {"Tephriphonolite", "Foid monzosyenite"},
            {"Phonolite", "Foid syenite"},
            {"Foidite", "Foidolite"}};
        for (const auto& [f, plutonic] : plain)
            QCOMPARE(named(f, P), QString(plutonic));
        QCOMPARE(named("Rhyolite", P), QString("Granite"));
        QCOMPARE(named("Basalt", P, {}, {{Ne, 0.01}}), QString("Alkali gabbro"));
        QCOMPARE(named("Basalt", P, {}, {{Q, 0.01}}), QString("Subalkali gabbro"));
        QCOMPARE(named("Tephrite / basanite", P, {}, {{Ol, 10.01}}), QString("Foid gabbro"));
        QCOMPARE(named("Tephrite / basanite", P, {}, {{Ol, 10.0}}), QString("Foid gabbro"));
        QCOMPARE(named("Trachyte / trachydacite", P, {{SiO2, 64}, {Na2O, 5}, {K2O, 5}},
                       {{Q, 20.01}, {Or, 30}, {Ab, 39.99}, {An, 10}}),
                 QString("Quartz monzonite"));
        QCOMPARE(named("Trachyte / trachydacite", P, {{SiO2, 64}, {Na2O, 5}, {K2O, 5}},
                       {{Q, 20}, {Or, 30}, {Ab, 40}, {An, 10}}),
                 QString("Syenite"));
        QCOMPARE(named("Rhyolite", P, {{Al2O3, 10}, {Na2O, 8}, {K2O, 5}}),
                 QString("Peralkaline granite"));
        for (const auto& [f, plutonic] : {std::pair{"Trachybasalt", "Monzogabbro"},
                                          std::pair{"Basaltic trachyandesite", "Monzodiorite"},
                                          std::pair{"Trachyandesite", "Monzonite"}}) {
            QCOMPARE(named(f, P, {{Na2O, 4.5}, {K2O, 2.5}}), QString(plutonic));
            QCOMPARE(named(f, P, {{Na2O, 4.5}, {K2O, 2.51}}), QString(plutonic));
        }
        // Picrite and boninite are lavas: a plutonic rock keeps its field's name.
        QCOMPARE(named("Basalt", P, {{MgO, 12.01}, {Na2O, 2}, {K2O, 0.99}}, {{Q, 1}}),
                 QString("Subalkali gabbro"));
        QCOMPARE(named("Basaltic andesite", P, {{SiO2, 52.01}, {MgO, 8.01}, {TiO2, 0.49}}),
                 QString("Gabbroic diorite"));
        // By the rock name: as the row says, unless the user chooses.
        QCOMPARE(named("Andesite", Names::ByRockName, {}, {}, true), QString("Diorite"));
        QCOMPARE(named("Andesite", Names::ByRockName), QString("Andesite"));
        QCOMPARE(named("Andesite", Names::Volcanic, {}, {}, true), QString("Andesite"));
        for (const char* name :
             {"Gabbro", "olivine GABBRO", "Monzogranite", "Adamellite", "Granodiorite",
              "Nepheline syenite", "Harzburgite", "Quartz diorite"})
            QVERIFY2(soundsPlutonic(name), name);
        for (const char* name :
             {"", "Basalt", "Basaltic andesite", "Dolerite", "Chlorite schist", "Trachyte"})
            QVERIFY2(!soundsPlutonic(name), name);
        // End to end: the average basanite's analysis, its row named a gabbro.
        const double basanite[11] = {44.30, 2.51,  14.70, 3.94, 7.50, 0.16,
                                     8.54,  10.19, 3.55,  1.96, 0.74};
        std::vector<engine::Value> row(schema::kColumnCount);
        for (int o = 0; o < 11; ++o)
            row[schema::at(columnOf(o))] = engine::Value::real(basanite[o]);
        row[schema::at(schema::Column::Rockname)] = engine::Value::text("Essexite gabbro");
        QCOMPARE(QString::fromStdString(rockName(computeNorm(Analysis::fromRow(row)))),
                 QString("Foid gabbro"));
        QVERIFY(QString::fromStdString(
                    nameWithFlags(computeNorm(Analysis::fromRow(row)), Names::Volcanic))
                    .startsWith("Basanite"));
    }

    // Published averages named from their analyses, end to end.
    void averagesAreNamedFromTheirAnalyses() {
        const struct {
            const char* name;
            double v[11]; // SiO2 TiO2 Al2O3 Fe2O3 FeO MnO MgO CaO Na2O K2O P2O5
        } averages[] = {
            {"Hawaiite", {47.48, 3.23, 15.74, 4.94, 7.36, 0.19, 5.58, 7.91, 3.97, 1.53, 0.74}},
            {"Mugearite", {50.52, 2.09, 16.71, 4.88, 5.86, 0.26, 3.20, 6.14, 4.73, 2.46, 0.75}},
            // The average trachyandesite is potassic: a latite.
            {"Latite", {58.15, 1.08, 16.70, 3.26, 3.21, 0.16, 2.57, 4.96, 4.35, 3.21, 0.41}},
            {"Trachyte", {61.21, 0.70, 16.96, 2.99, 2.29, 0.15, 0.93, 2.34, 5.47, 4.98, 0.21}},
            {"Basanite", {44.30, 2.51, 14.70, 3.94, 7.50, 0.16, 8.54, 10.19, 3.55, 1.96, 0.74}},
        };
        for (const auto& avg : averages) {
            engine::Value v[kOxideCount];
            for (int o = 0; o < 11; ++o)
                v[o] = engine::Value::real(avg.v[o]);
            QCOMPARE(QString::fromStdString(rockName(computeNorm(Analysis::fromValues(v)))),
                     QString(avg.name));
        }
    }
};

QTEST_APPLESS_MAIN(TestRockNames)
#include "tst_rocknames.moc"
