#pragma once

#include <array>
#include <cstddef>

// The 32 columns of the sample tables by name, in table order: a column's
// enumerator is its position in schema::kColumns, in the tables and in the
// grid, so everything that picks a column out of a row names it here and
// never by number. The subsets below list their columns in table order.
namespace schema {

enum class Column : int {
    Rockname,
    Geologist,
    Date,
    Location,
    SampleNumber,
    SiO2,
    TiO2,
    Al2O3,
    Fe2O3,
    FeO,
    MnO,
    MgO,
    CaO,
    Na2O,
    K2O,
    P2O5,
    H2OPlus,
    H2OMinus,
    CO2,
    Cl,
    F,
    S,
    SO3,
    Cr2O3,
    ZrO2,
    Total,
    Trace1,
    Trace2,
    Trace3,
    Trace4,
    Trace5,
    ID
};

constexpr int index(Column c) {
    return static_cast<int>(c);
}
constexpr std::size_t at(Column c) {
    return static_cast<std::size_t>(c);
}

// The column's name in the tables, from kColumns.
const char* columnName(Column c);

// The descriptive text columns, sorted and searched.
constexpr std::array<Column, 5> kTextColumns = {Column::Rockname, Column::Geologist, Column::Date,
                                                Column::Location, Column::SampleNumber};
// The columns that name a sample to the user, the more particular first.
constexpr std::array<Column, 2> kSampleName = {Column::SampleNumber, Column::Rockname};
// The oxides, volatiles included: SiO2 to ZrO2, what the norm reads.
constexpr Column kFirstOxide = Column::SiO2;
constexpr Column kLastOxide = Column::ZrO2;
// The oxides of the volatile-free sum: H2O+, H2O-, CO2, Cl, F, S and SO3
// are left out.
constexpr std::array<Column, 13> kVolatileFreeSum = {
    Column::SiO2, Column::TiO2,  Column::Al2O3, Column::Fe2O3, Column::FeO,
    Column::MnO,  Column::MgO,   Column::CaO,   Column::Na2O,  Column::K2O,
    Column::P2O5, Column::Cr2O3, Column::ZrO2};

// Where a column stands in one of the lists above; -1 when not there.
template <std::size_t N> constexpr int positionIn(const std::array<Column, N>& list, Column c) {
    for (std::size_t i = 0; i < N; ++i)
        if (list[i] == c)
            return static_cast<int>(i);
    return -1;
}

} // namespace schema
