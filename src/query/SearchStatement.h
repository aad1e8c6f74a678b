#pragma once

#include <QString>

// Builds the search bar's statement: the rows of the active table whose
// chosen column contains both terms, ordered by that column. Pieces are
// joined with no blank between them; each term becomes "*term*" with its
// apostrophes doubled, so that a term can never end the quoted pattern.
class SearchStatement {
public:
    // The six column names the chooser offers, in the order they are tested.
    static bool isSearchColumn(const QString& column);

    // Empty when the table set or the column is none of the known ones.
    static QString build(const QString& active, const QString& column, const QString& first,
                         const QString& second);

    static QString pattern(const QString& term);
};
