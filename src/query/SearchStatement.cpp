#include "SearchStatement.h"

#include "TableSet.h"

bool SearchStatement::isSearchColumn(const QString& column) {
    for (schema::Column c : kColumns)
        if (column == QLatin1String(schema::columnName(c)))
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
