#pragma once

#include <QString>

// The four table sets the user chooses among: the value kept in
// ActiveDatabase, the table it names and its place in the Active Database
// menu.
class TableSet {
public:
    static constexpr int kCount = 4;

    static QString activeValue(int menuIndex);   // "Doziro", "Pro1", ...; empty when out of range
    static QString table(const QString& active); // "DOZIRO1", ...; empty for any other value
    // The whole table ordered by rock name, as start-up, the table switch and
    // the search bar's "Refresh" list it.
    static QString wholeTableStatement(const QString& active);
};
