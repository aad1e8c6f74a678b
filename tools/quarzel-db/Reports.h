#pragma once

// The commands of quarzel-db that read the collection and print what they
// found, one line a row, tab-separated, and the log-on they share with
// the commands that write. Each returns the process's exit code; the
// engine's errors are thrown to main, which words them.
#include "classify/Diagram.h"
#include "classify/NormalisingSets.h"
#include "classify/TracePattern.h"
#include "norm/NormTable.h"

#include <memory>
#include <string>

namespace engine {
class Database;
}

namespace reports {

// "server:CONNINFO" logs on to the server, anything else is a folder.
constexpr const char* kServer = "server:";
std::shared_ptr<engine::Database> logOn(const std::string& dir);

int query(const std::string& dir, const std::string& statement);
int classify(const std::string& dir, const std::string& table, const std::string& where,
             const chart::Diagram& diagram);
int normRows(const std::string& dir, const std::string& table, const std::string& where,
             norm::IronChoice iron, norm::Names names);
int classifyPattern(const std::string& dir, const std::string& table, const std::string& where,
                    trace::PatternKind kind, const trace::NormalisingSet& set);
int historyOf(const std::string& dir, const std::string& table, const std::string& sample,
              int limit);
int valuesOf(const std::string& dir, const std::string& table, const std::string& where);

} // namespace reports
