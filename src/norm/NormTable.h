#pragma once

#include "CipwNorm.h"
#include "RockName.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace engine {
class Database;
}

namespace norm {

// The norm as a table: the header and the rows `quarzel-db norm` prints,
// which the Norm window shows and the export appends, so that all three
// agree to the digit.
namespace table {

// ID, the minerals by abbreviation, Sum, Mg#, DI, CIA, Name.
std::vector<std::string> header();
// The cells after ID: two decimals, empty where the row has no norm (its
// reason in Name), for an Mg# without MgO or FeO and a CIA without one of
// its oxides; tab-separated.
void appendCells(std::string& out, const Norm& n, Names names = Names::ByRockName);
std::vector<std::string> cells(const Norm& n, Names names = Names::ByRockName);
// Two decimals, as printf's "%.2f" writes them, never "-0.00".
std::string fixed2(double value);
void appendFixed2(std::string& out, double value);

} // namespace table

// Reads the analyses of a table's rows that meet a condition (all rows when
// it is empty), in the order of ID, in one pass, and hands each row's norm
// on. The condition is one of the program's own (brackets, Like with * and
// ?), checked under the account's rights like any statement. Returns false
// when cancelled; throws engine::EngineError when the table cannot be read
// or the condition is not understood.
bool forEachNorm(engine::Database& db, const std::string& tableName, const std::string& condition,
                 IronChoice iron, const std::function<void(std::int64_t id, const Norm&)>& each,
                 const std::atomic<bool>* cancel = nullptr);

} // namespace norm
