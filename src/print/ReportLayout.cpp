#include "ReportLayout.h"

#include "query/TableSet.h"

#include <QRegularExpression>

using C = schema::Column;

// clang-format off
const ReportLayout::Line ReportLayout::kCurrentRow[32] = {
    {"Rockname", C::Rockname}, {"ID", C::ID}, {"Geologist", C::Geologist}, {"Date", C::Date},
    {"Location", C::Location}, {"Doziro #", C::SampleNumber}, {"SiO2", C::SiO2}, {"TiO2", C::TiO2},
    {"Al2O3", C::Al2O3}, {"Fe2O3", C::Fe2O3}, {"FeO", C::FeO}, {"MnO", C::MnO}, {"MgO", C::MgO},
    {"CaO", C::CaO}, {"Na2O", C::Na2O}, {"K2O", C::K2O}, {"P2O5", C::P2O5}, {"H2O+", C::H2OPlus},
    {"H2O-", C::H2OMinus}, {"CO2", C::CO2}, {"Cl", C::Cl}, {"F", C::F}, {"S", C::S},
    {"SO3", C::SO3}, {"Cr2O3", C::Cr2O3}, {"ZrO2", C::ZrO2}, {"Total", C::Total},
    {"Trace1", C::Trace1}, {"Trace2", C::Trace2}, {"Trace3", C::Trace3}, {"Trace4", C::Trace4},
    {"Trace5", C::Trace5},
};

const ReportLayout::Line ReportLayout::kSecondLayout[19] = {
    {"Rockname", C::Rockname}, {"Geologist", C::Geologist}, {"Date", C::Date},
    {"Location", C::Location}, {"Doziro #", C::SampleNumber}, {"SiO2", C::SiO2}, {"TiO2", C::TiO2},
    {"Al2O3", C::Al2O3}, {"Fe2O3", C::Fe2O3}, {"FeO", C::FeO}, {"MnO", C::MnO}, {"MgO", C::MgO},
    {"CaO", C::CaO}, {"Na2O", C::Na2O}, {"K2O", C::K2O}, {"P2O5", C::P2O5}, {"H2O+", C::H2OPlus},
    {"H2O-", C::H2OMinus}, {"ID", C::ID},
};
// clang-format on

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
