#pragma once

#include <string>

namespace engine {

class SqliteDatabase;

// A condition "[Column] Like '*term*'" on a text column, with a term of
// three or more plain ASCII characters, is answered from the table's
// substring index: the text from FROM on comes back with the condition
// made "([ID] IN (rows whose column holds the term) And [Column] Like
// '*term*')". The Like still decides, so the rows are exactly the same; the
// index only spares reading the others. ASCII only, because the index folds
// other letters differently from our Like. Empty when the statement has no
// such condition, the table no index, or the term is too common for the
// index to be quicker than a scan.
std::string narrowedBySubstringIndex(SqliteDatabase& db, const std::string& table,
                                     const std::string& fromClause);

} // namespace engine
