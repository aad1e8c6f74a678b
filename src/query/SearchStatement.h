#pragma once

#include "schema/Column.h"

#include <QString>

#include <array>

// Builds the search bar's statement: the rows of the active table whose
// chosen column contains both terms, ordered by that column. Pieces are
// joined with no blank between them; each term becomes "*term*" with its
// apostrophes doubled, so that a term can never end the quoted pattern.
class SearchStatement {
public:
    // The six columns the chooser offers, in its order.
    static constexpr std::array<schema::Column, 6> kColumns = {
        schema::Column::Geologist, schema::Column::Date,         schema::Column::Location,
        schema::Column::Rockname,  schema::Column::SampleNumber, schema::Column::ID};
    // Whether the name is one of theirs.
    static bool isSearchColumn(const QString& column);

    // Empty when the table set or the column is none of the known ones.
    static QString build(const QString& active, const QString& column, const QString& first,
                         const QString& second);

    static QString pattern(const QString& term);
};
