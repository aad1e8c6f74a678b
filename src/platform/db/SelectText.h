#pragma once

#include <string>

namespace engine {

// Reading the few things a record set needs from the text of its statement.
namespace SelectText {

// Splits "SELECT * FROM table ..." into the text from FROM on and the table.
bool splitSelectStar(const std::string& sql, std::string& fromClause, std::string& table);

// "SELECT COUNT(*) FROM ... WHERE ...": the same rows counted without their
// order, so that an index or a plain scan answers it. Empty when the text
// holds anything that could make the two differ (GROUP BY, LIMIT, UNION,
// comments...): such a set is counted from its keys instead.
std::string countStatement(const std::string& fromClause);

} // namespace SelectText

} // namespace engine
