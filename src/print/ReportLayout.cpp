#include "ReportLayout.h"

#include "query/TableSet.h"

#include <QRegularExpression>

const ReportLayout::Line ReportLayout::kCurrentRow[32] = {
    {"Rockname", 0}, {"ID", 31},    {"Geologist", 1}, {"Date", 2},    {"Location", 3},
    {"Doziro #", 4}, {"SiO2", 5},   {"TiO2", 6},      {"Al2O3", 7},   {"Fe2O3", 8},
    {"FeO", 9},      {"MnO", 10},   {"MgO", 11},      {"CaO", 12},    {"Na2O", 13},
    {"K2O", 14},     {"P2O5", 15},  {"H2O+", 16},     {"H2O-", 17},   {"CO2", 18},
    {"Cl", 19},      {"F", 20},     {"S", 21},        {"SO3", 22},    {"Cr2O3", 23},
    {"ZrO2", 24},    {"Total", 25}, {"Trace1", 26},   {"Trace2", 27}, {"Trace3", 28},
    {"Trace4", 29},  {"Trace5", 30}};

const ReportLayout::Line ReportLayout::kSecondLayout[19] = {
    {"Rockname", 0}, {"Geologist", 1}, {"Date", 2},  {"Location", 3}, {"Doziro #", 4},
    {"SiO2", 5},     {"TiO2", 6},      {"Al2O3", 7}, {"Fe2O3", 8},    {"FeO", 9},
    {"MnO", 10},     {"MgO", 11},      {"CaO", 12},  {"Na2O", 13},    {"K2O", 14},
    {"P2O5", 15},    {"H2O+", 16},     {"H2O-", 17}, {"ID", 31}};

QString ReportLayout::titleForActive(const QString& active) {
    if (active == "Doziro")
        return "Quarzel Geochemical Database Results";
    if (active == "Pro1")
        return "Project1 Database Results";
    if (active == "Pro2")
        return "Project2 Database Results";
    if (active == "Pro3")
        return "Project3 Database Results";
    return {};
}

QString ReportLayout::tableOf(const QString& recordSource) {
    static const QRegularExpression from(R"(\bFROM\s*\[([^\]]+)\])",
                                         QRegularExpression::CaseInsensitiveOption);
    const auto m = from.match(recordSource);
    return m.hasMatch() ? m.captured(1) : QString();
}

QString ReportLayout::titleFor(const QString& recordSource, const QString& active) {
    const QString table = tableOf(recordSource);
    for (int i = 0; i < TableSet::kCount; ++i) {
        const QString a = TableSet::activeValue(i);
        if (TableSet::table(a) == table)
            return titleForActive(a);
    }
    return titleForActive(active);
}

int ReportLayout::pageTotal(long records) {
    return static_cast<int>((records + 1) / 2);
}

QString ReportLayout::footer(int page, int total) {
    return QString("Page # %1 of %2").arg(page).arg(total);
}
