#pragma once

#include <string>
#include <vector>

// The four sample tables on a shared server: the same columns and keys as
// in the file, with the server's types. Text columns keep the "C" rules,
// under which the program's statements fold plain letters only, as the
// file's columns do; Like
// searches for any run of text are served by trigram indexes; every
// change is logged beside its table and announced, as a hint to read the
// log, on the channel kChangeChannel.
namespace schema::server {

constexpr const char* kChangeChannel = "quarzel_changes";

// Roles of the server's, shared by its collections. The owner owns the
// collection's functions and may only add to the kept counts; it never
// logs on. Every account that opens a collection is a member of the
// reader, which may connect and read the collection's own tables (never
// the four tables: those are granted to each account).
constexpr const char* kOwnerRole = "quarzel_owner";
constexpr const char* kReaderRole = "quarzel_reader";
// Entries a table's change log keeps, unless quarzel_meta's changes_kept
// says otherwise.
constexpr long kChangesKept = 100000;
// The kept counts of a table are summed into one row past this many.
constexpr int kCountRows = 256;
constexpr const char* kFunctions[] = {
    "quarzel_announce()",          "quarzel_count_added()",
    "quarzel_count_compact(text)", "quarzel_count_removed()",
    "quarzel_history()",           "quarzel_history_imported(text, bigint, bigint)"};
// Run by an account that imports, to make the import's one entry.
constexpr const char* kImportedFunction = "quarzel_history_imported(text, bigint, bigint)";

// Extensions, the collection's own tables and the change announcement:
// run once, before any table, when kOwnerRole is there.
std::string createCommonSql();
std::string createTableSql(const std::string& table);
// The indexes and triggers, made after the rows are loaded; with them the
// table's change log "T_changes" (seq, sample, kind I, U or D), read
// with the table's read right.
std::string createIndexesSql(const std::string& table);
std::string changesTable(const std::string& table);

// The values beyond the 32 columns (engine::SampleValue): the two
// dictionaries shared by the four tables, run once after createCommonSql;
// beside each table "T_values", made before its values are copied and
// given its key, its tie to the table's rows (ON DELETE CASCADE) and its
// index by analyte after.
std::string createStoreSql();
std::string valuesTable(const std::string& table);
std::string createValuesTableSql(const std::string& table);
std::string createValuesIndexesSql(const std::string& table);
// The sequences an account that adds values uses.
std::string valuesSequence(const std::string& table);
constexpr const char* kDictionaries[] = {"quarzel_channel", "quarzel_reference"};
constexpr const char* kDictionarySequences[] = {"quarzel_channel_code_seq",
                                                "quarzel_reference_code_seq"};

// The history of every change beside each table (engine::History): the
// function its triggers run, with its owner's rights (no account writes a
// history entry of its own), run once after createCommonSql; its tables
// and triggers, made after the table's values. Entries name the account
// that logged on (session_user), never the function's owner.
std::string createHistoryFunctionsSql();
std::string createHistorySql(const std::string& table);
// The history's three tables of one sample table.
std::vector<std::string> historyTables(const std::string& table);

// The quoted name of the table's key sequence, for starting it after the
// largest key copied.
std::string restartKeysSql(const std::string& table);

} // namespace schema::server
