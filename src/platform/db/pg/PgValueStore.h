#pragma once

#include "platform/db/Database.h"

#include <functional>
#include <map>
#include <string>
#include <tuple>
#include <vector>

namespace engine {

class PgDatabase;

// The values beyond the 32 columns on the server, in the tables
// schema::server makes: "T_values" beside each table T, a row per value
// keyed (sample, seq) (seq from one identity: the order stored), analyte,
// unit and method an integer of quarzel_channel and a reference one of
// quarzel_reference. A sample's values go with its row by ON DELETE
// CASCADE. Rights are the server's GRANTs on those tables.
//
// Values go in multi-row INSERTs, as many samples' a statement as its
// parameters allow, with the dictionaries' ids kept in memory (taken back
// after a rollback): one round trip for many samples, and one more for each
// analyte or reference the server has not seen.
class PgValueStore {
public:
    explicit PgValueStore(PgDatabase& db) : db_(db) {}

    void add(const std::string& table, std::int64_t sample, const std::vector<SampleValue>& values);
    // Every sample's values checked before any is written.
    void add(const std::string& table, const std::vector<Database::SampleValues>& samples);
    void read(const std::string& table, const std::string& where,
              const std::function<bool(const StoredValue&)>& each,
              const std::vector<std::string>& analytes = {},
              const Database::KeyRange* keys = nullptr);
    std::vector<Database::AnalyteCount> analytes(const std::string& table, bool counted = true);
    void forget();

private:
    // The server's name of the table's values, or empty for a collection
    // made before the store.
    std::string valuesTable(const std::string& table) const;
    std::int64_t channelId(const SampleValue& v);
    std::int64_t referenceId(const std::string& text);

    PgDatabase& db_;
    // Looked up without copying a value's names: std::less<> takes a tuple of
    // references.
    std::map<std::tuple<std::string, std::string, std::string>, std::int64_t, std::less<>>
        channels_;
    std::map<std::string, std::int64_t, std::less<>> references_;
};

} // namespace engine
