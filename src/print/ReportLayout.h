#pragma once

#include "schema/Column.h"

#include <QString>

// What the two report layouts print: the title of a table set, and the
// label and grid column of each line pair.
class ReportLayout {
public:
    struct Line {
        const char* label;
        schema::Column column;
    };

    // "Quarzel Geochemical Database Results", "Project1 Database Results",
    // ...; empty for any other value.
    static QString titleForActive(const QString& active);
    // The title of the table a record source lists, so that the title names
    // the rows printed; falls back to the active set when the source names
    // none of the four tables.
    static QString titleFor(const QString& recordSource, const QString& active);
    static QString tableOf(const QString& recordSource);

    static const Line kCurrentRow[32];
    static const Line kSecondLayout[19];

    // Pages of the second layout: two records to a page, the last page
    // holding one record when the count is odd.
    static int pageTotal(long records);
    static QString footer(int page, int total);
};
