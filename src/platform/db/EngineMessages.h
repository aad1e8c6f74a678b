#pragma once

#include "EngineError.h"

#include <string>

namespace engine {

// The engine's messages that every back end gives in the same words.
namespace msg {

inline EngineError noPermission(const std::string& action, const std::string& object) {
    return EngineError(err::NoPermission,
                       "You do not have the necessary permissions to " + action + " the '" +
                           object +
                           "' object. Have your system administrator or the person "
                           "who created this object establish the appropriate permissions "
                           "for you.");
}

inline EngineError onlyRowStatements(const std::string& sql) {
    return EngineError(err::InvalidStatement,
                       "Invalid SQL statement; only SELECT, INSERT, UPDATE and DELETE "
                       "statements on tables can be run: '" +
                           sql + "'.");
}

inline EngineError tableNotFound(const std::string& table) {
    return EngineError(err::TableNotFound,
                       "The database engine cannot find the input table or query '" + table +
                           "'. Make sure it exists and that its name is spelled correctly.");
}

inline EngineError unknownField(const std::string& field, const std::string& sql) {
    return EngineError(err::SyntaxError,
                       "Unknown field name '" + field + "' in query expression '" + sql + "'.");
}

inline EngineError syntaxError(const std::string& sql) {
    return EngineError(err::SyntaxError, "Syntax error in query expression '" + sql + "'.");
}

inline EngineError charactersAfterEnd(const std::string& sql) {
    return EngineError(err::CharactersAfterEnd,
                       "Characters found after end of SQL statement: '" + sql + "'.");
}

inline EngineError nulInStatement() {
    return EngineError(err::SyntaxError, "The statement holds a NUL character (code 0), which "
                                         "no statement can hold. Nothing was run.");
}

inline EngineError notSelectStar(const std::string& sql) {
    return EngineError(err::InvalidStatement,
                       "Invalid operation: a record set is opened on a statement of the form "
                       "SELECT * FROM table, not on '" +
                           sql + "'.");
}

inline EngineError writeLocked() {
    return EngineError(err::Locked, "Could not update; currently locked.");
}

inline EngineError valuesOutsideTransaction() {
    return EngineError(err::InvalidStatement,
                       "Values are added inside a transaction: begin one first. Nothing was "
                       "added.");
}

inline EngineError noSuchSample(const std::string& table, long long sample) {
    return EngineError(err::NoCurrentRecord, "No row of '" + table + "' has the ID " +
                                                 std::to_string(sample) +
                                                 ": its values cannot be added. Nothing was "
                                                 "added.");
}

} // namespace msg

} // namespace engine
