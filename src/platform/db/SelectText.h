#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace engine {

// Reading the few things a record set needs from the text of its statement.
namespace SelectText {

// Splits "SELECT * FROM table ..." into the text from FROM on and the table.
bool splitSelectStar(const std::string& sql, std::string& fromClause, std::string& table);

// "SELECT COUNT(*) FROM table": the rows of a statement without a
// condition counted without their order, which the smallest index answers
// long before every key is read. Empty when the text has a condition (the
// scan that reads the keys counts them as soon) or anything that could make
// the two differ (GROUP BY, LIMIT, UNION, comments...): such a set is
// counted from its keys.
std::string countStatement(const std::string& fromClause);

// A values reader's condition on the channel's analyte (c.analyte IN
// ('La', 'Ce')), the names as literals with their quotes doubled: the same
// text on both back ends. Empty for no names.
std::string analyteFilter(const std::vector<std::string>& analytes);
// Its condition on the sample's key, from first to last.
std::string sampleRange(std::int64_t first, std::int64_t last);
// "held(code)": the channels a values table (its name quoted) holds, each
// found by one seek in its index of channels from the one before, rather
// than by a pass over every value. The same text on both back ends.
std::string heldChannels(const std::string& valuesTable);

} // namespace SelectText

} // namespace engine
