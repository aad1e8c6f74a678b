#pragma once

#include "platform/db/Database.h"
#include "platform/view/ValueColumns.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The statements of Tools > Find by Value... and Sort by Value...: a table's
// rows by one of the values kept beside them, read as the grid's value
// column shows it. A row's value is its first of the analyte (in the order
// the source gave them) that can be shown in the column's unit and is no
// detection limit, converted to that unit as the column converts it; a row
// without one is never found and sorts last.
//
// The values are named by the store's channel codes and every number is
// written in its shortest exact form, so the only text a user typed that
// reaches a statement is a pattern with its apostrophes doubled, and the
// same statement runs on both back ends.
class ValueStatement {
public:
    struct Channel {
        std::int64_t code = 0;
        double ppm = 0; // its unit in ppm; 0 when shown as stored
    };

    // The channels of the values that can fill the column, from what the
    // table holds; empty when none can.
    static std::vector<Channel> channels(const std::vector<engine::Database::AnalyteCount>& held,
                                         const ValueColumns::Choice& column);
    // A fact without a unit may be words ("whole rock") rather than a number.
    static bool mayBeWords(const ValueColumns::Choice& column) { return column.unit.empty(); }

    // The rows whose value lies within the bounds given (both included).
    static QString findNumbers(const std::string& table, const ValueColumns::Choice& column,
                               const std::vector<Channel>& channels, std::optional<double> from,
                               std::optional<double> to);
    // The rows whose value is words like the pattern (* and ?, as the
    // search bar's terms), case aside.
    static QString findWords(const std::string& table, const std::vector<Channel>& channels,
                             const QString& words);
    // The whole table by the value; a fact without a unit by its number,
    // then by its words.
    static QString sort(const std::string& table, const ValueColumns::Choice& column,
                        const std::vector<Channel>& channels, bool descending);
};
