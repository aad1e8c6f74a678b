#include "SearchStatement.h"

#include "TableSet.h"

namespace {
const char* const kColumns[] = {"Geologist", "Location",       "Date",
                                "Rockname",  "Doziro Sample#", "ID"};
} // namespace

bool SearchStatement::isSearchColumn(const QString& column) {
    for (const char* c : kColumns)
        if (column == QLatin1String(c))
            return true;
    return false;
}

QString SearchStatement::pattern(const QString& term) {
    QString t = term;
    t.replace("'", "''");
    return "*" + t + "*";
}

QString SearchStatement::build(const QString& active, const QString& column, const QString& first,
                               const QString& second) {
    const QString table = TableSet::table(active);
    if (table.isEmpty() || !isSearchColumn(column))
        return {};
    const QString name = "[" + column + "]";
    return "SELECT * FROM [" + table + "]" + "Where " + name + " Like '" + pattern(first) + "'" +
           "And " + name + " Like '" + pattern(second) + "'" + "Order By " + name + " ASC";
}
