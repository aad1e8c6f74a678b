#pragma once

#include <map>
#include <set>
#include <string>

namespace engine {

// The program's statements (the file engine's dialect: [bracketed] names,
// Like patterns with *, ?, # and [lists], ?N parameters, Nulls first in an
// ascending order) written for the server, so that both back ends return
// the same rows in the same order.
namespace PgDialect {

struct Names {
    // Tables and columns by their lower-case names: bare names are matched
    // without regard to case, as the file engine does.
    std::map<std::string, std::string> byLower;
    // The lower-case names of the text columns: they compare and sort
    // without regard to the case of plain letters, as the file's do.
    std::set<std::string> text;
};

struct Options {
    // For a dynaset's keys: ties in the order are broken by [ID] (as the
    // file's indexes hold them), and a set with no order is in [ID] order.
    bool keyOrder = false;
};

// Throws EngineError in the engine's words for what cannot run: more than
// one statement, a statement other than SELECT, INSERT, UPDATE or DELETE,
// an invalid Like pattern, a NUL.
std::string translate(const std::string& sql, const Names& names, Options options = {});

// A Like pattern as the server's condition on a text expression: ILIKE
// where the pattern has only * and ?, a case-blind regular expression
// where it has # or [lists]. Both are served by a trigram index.
std::string likeCondition(const std::string& operand, const std::string& pattern);

// A name quoted for the server.
std::string quote(const std::string& name);

} // namespace PgDialect

} // namespace engine
