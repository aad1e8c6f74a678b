#include "platform/db/Workgroup.h"

#include "Statement.h"
#include "platform/db/EngineError.h"

#include <sodium.h>
#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <set>

namespace engine {

namespace {

const char* kFormat = "quarzel-workgroup-1";

std::string upper(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return s;
}

void ensureSodium() {
    static const int rc = sodium_init();
    if (rc < 0)
        throw EngineError(err::Internal, "The password library could not be started.");
}

EngineError damaged(const std::string& path) {
    return EngineError(err::WorkgroupMissing, "The workgroup information file '" + path +
                                                  "' is damaged or is not a workgroup "
                                                  "information file.");
}

// Argon2id is slow on purpose; a logon that already succeeded with the
// same stored hash and password need not pay for it again in this process.
std::set<std::string>& verifiedLogons() {
    static std::set<std::string> s;
    return s;
}
std::mutex verifiedMutex;

std::string logonDigest(const std::string& hash, const std::string& password) {
    unsigned char out[crypto_generichash_BYTES];
    crypto_generichash_state st;
    crypto_generichash_init(&st, nullptr, 0, sizeof out);
    crypto_generichash_update(&st, reinterpret_cast<const unsigned char*>(hash.data()),
                              hash.size() + 1);
    crypto_generichash_update(&st, reinterpret_cast<const unsigned char*>(password.data()),
                              password.size());
    crypto_generichash_final(&st, out, sizeof out);
    return std::string(reinterpret_cast<char*>(out), sizeof out);
}

bool passwordMatches(const std::string& hash, const std::string& password) {
    const std::string digest = logonDigest(hash, password);
    {
        std::lock_guard lock(verifiedMutex);
        if (verifiedLogons().count(digest))
            return true;
    }
    if (crypto_pwhash_str_verify(hash.c_str(), password.c_str(), password.size()) != 0)
        return false;
    std::lock_guard lock(verifiedMutex);
    verifiedLogons().insert(digest);
    return true;
}

// A file cut short still opens, and reads as if the rows on its missing
// pages were never there (an account without its permissions). Its header
// says how long it must be.
bool wholeFile(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    unsigned char h[100] = {};
    const bool read = std::fread(h, 1, sizeof h, f) == sizeof h;
    std::fclose(f);
    if (!read)
        return false;
    const unsigned pageSize = (h[16] << 8 | h[17]) == 1 ? 65536u : unsigned(h[16] << 8 | h[17]);
    const std::uint32_t pages = std::uint32_t(h[28]) << 24 | std::uint32_t(h[29]) << 16 |
                                std::uint32_t(h[30]) << 8 | std::uint32_t(h[31]);
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    return !ec && pageSize >= 512 && pages > 0 &&
           size == static_cast<std::uintmax_t>(pageSize) * pages;
}

std::string columnText(sqlite3_stmt* s, int i) {
    const unsigned char* t = sqlite3_column_text(s, i);
    return t ? reinterpret_cast<const char*>(t) : std::string();
}

} // namespace

Workgroup Workgroup::logOn(const std::string& path, const std::string& user,
                           const std::string& password) {
    ensureSodium();
    std::error_code ec;
    if (path.empty() || !std::filesystem::is_regular_file(path, ec))
        throw EngineError(err::WorkgroupMissing,
                          "The workgroup information file '" + path +
                              "' is missing or opened exclusively by another user.");

    if (!wholeFile(path))
        throw damaged(path);
    sqlite3* raw = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
    std::unique_ptr<sqlite3, int (*)(sqlite3*)> db(raw, sqlite3_close);
    if (rc != SQLITE_OK)
        throw damaged(path);

    auto prepare = [&](const char* sql) {
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(db.get(), sql, -1, &s, nullptr) != SQLITE_OK)
            throw damaged(path);
        return Statement(s);
    };

    Workgroup wg;
    {
        Statement s = prepare("SELECT key, value FROM workgroup");
        std::string format;
        while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) {
            std::string key = columnText(s.get(), 0);
            if (key == "format")
                format = columnText(s.get(), 1);
            else if (key == "database_identity")
                wg.identity_ = columnText(s.get(), 1);
        }
        if (rc != SQLITE_DONE || format != kFormat || wg.identity_.empty())
            throw damaged(path);
    }

    const EngineError badAccount(err::BadAccount, "Not a valid account name or password.");
    std::string hash;
    {
        Statement s = prepare("SELECT name, pwhash FROM accounts WHERE name = ?1 COLLATE NOCASE");
        sqlite3_bind_text(s.get(), 1, user.c_str(), -1, SQLITE_TRANSIENT);
        rc = sqlite3_step(s.get());
        if (rc == SQLITE_ROW) {
            wg.user_ = columnText(s.get(), 0);
            hash = columnText(s.get(), 1);
        } else if (rc != SQLITE_DONE) {
            throw damaged(path);
        }
    }
    if (hash.empty() || !passwordMatches(hash, password))
        throw badAccount;

    Statement s = prepare("SELECT tbl, can_read, can_update, can_insert, can_delete "
                          "FROM permissions WHERE account = ?1 COLLATE NOCASE");
    sqlite3_bind_text(s.get(), 1, wg.user_.c_str(), -1, SQLITE_TRANSIENT);
    while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) {
        TablePermissions p;
        p.read = sqlite3_column_int(s.get(), 1) != 0;
        p.update = sqlite3_column_int(s.get(), 2) != 0;
        p.insert = sqlite3_column_int(s.get(), 3) != 0;
        p.remove = sqlite3_column_int(s.get(), 4) != 0;
        wg.tables_[upper(columnText(s.get(), 0))] = p;
    }
    if (rc != SQLITE_DONE)
        throw damaged(path);
    return wg;
}

std::vector<Workgroup::Account> Workgroup::accounts(const std::string& path) {
    std::error_code ec;
    if (path.empty() || !std::filesystem::is_regular_file(path, ec) || !wholeFile(path))
        throw damaged(path);
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
    std::unique_ptr<sqlite3, int (*)(sqlite3*)> db(raw, sqlite3_close);
    sqlite3_stmt* st = nullptr;
    if (rc != SQLITE_OK ||
        sqlite3_prepare_v2(db.get(),
                           "SELECT a.name, p.tbl, p.can_read, p.can_update, p.can_insert, "
                           "p.can_delete FROM accounts a LEFT JOIN permissions p ON p.account = "
                           "a.name ORDER BY a.name",
                           -1, &st, nullptr) != SQLITE_OK)
        throw damaged(path);
    Statement s(st);
    std::vector<Account> out;
    int step;
    while ((step = sqlite3_step(st)) == SQLITE_ROW) {
        const std::string name = columnText(st, 0);
        if (out.empty() || out.back().name != name)
            out.push_back({name, {}, {}});
        if (sqlite3_column_type(st, 1) == SQLITE_NULL)
            continue;
        TablePermissions p;
        p.read = sqlite3_column_int(st, 2) != 0;
        p.update = sqlite3_column_int(st, 3) != 0;
        p.insert = sqlite3_column_int(st, 4) != 0;
        p.remove = sqlite3_column_int(st, 5) != 0;
        out.back().tables[columnText(st, 1)] = p;
    }
    if (step != SQLITE_DONE)
        throw damaged(path);
    return out;
}

TablePermissions Workgroup::permissions(const std::string& table) const {
    auto it = tables_.find(upper(table));
    return it == tables_.end() ? TablePermissions{} : it->second;
}

TablePermissions Workgroup::anyTable() const {
    TablePermissions any;
    for (const auto& [table, p] : tables_) {
        any.read = any.read || p.read;
        any.update = any.update || p.update;
        any.insert = any.insert || p.insert;
        any.remove = any.remove || p.remove;
    }
    return any;
}

void Workgroup::create(const std::string& path, const std::string& identity,
                       const std::vector<Account>& accounts) {
    ensureSodium();
    std::filesystem::remove(path);
    sqlite3* raw = nullptr;
    if (sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
        SQLITE_OK) {
        sqlite3_close(raw);
        throw EngineError(err::CannotOpen,
                          "Cannot create the workgroup information file '" + path + "'.");
    }
    std::unique_ptr<sqlite3, int (*)(sqlite3*)> db(raw, sqlite3_close);
    auto exec = [&](const std::string& sql) {
        char* msg = nullptr;
        if (sqlite3_exec(db.get(), sql.c_str(), nullptr, nullptr, &msg) != SQLITE_OK) {
            std::string m = msg ? msg : "unknown error";
            sqlite3_free(msg);
            throw EngineError(err::Internal, "Cannot write the workgroup information file: " + m);
        }
    };
    exec("BEGIN;"
         "CREATE TABLE workgroup(key TEXT PRIMARY KEY, value TEXT NOT NULL);"
         "CREATE TABLE accounts(name TEXT PRIMARY KEY COLLATE NOCASE, pwhash TEXT NOT NULL);"
         "CREATE TABLE permissions(account TEXT NOT NULL COLLATE NOCASE,"
         " tbl TEXT NOT NULL COLLATE NOCASE, can_read INTEGER NOT NULL,"
         " can_update INTEGER NOT NULL, can_insert INTEGER NOT NULL,"
         " can_delete INTEGER NOT NULL, PRIMARY KEY(account, tbl));");
    auto insert = [&](const char* sql, const std::vector<std::string>& texts,
                      const std::vector<int>& ints) {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db.get(), sql, -1, &st, nullptr);
        Statement s(st);
        int i = 1;
        for (const auto& t : texts)
            sqlite3_bind_text(st, i++, t.c_str(), -1, SQLITE_TRANSIENT);
        for (int v : ints)
            sqlite3_bind_int(st, i++, v);
        if (sqlite3_step(st) != SQLITE_DONE)
            throw EngineError(err::Internal, "Cannot write the workgroup information file.");
    };
    insert("INSERT INTO workgroup VALUES(?1, ?2)", {"format", kFormat}, {});
    insert("INSERT INTO workgroup VALUES(?1, ?2)", {"database_identity", identity}, {});
    for (const auto& a : accounts) {
        char hash[crypto_pwhash_STRBYTES];
        if (crypto_pwhash_str(hash, a.password.c_str(), a.password.size(),
                              crypto_pwhash_OPSLIMIT_INTERACTIVE,
                              crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
            throw EngineError(err::Internal, "Out of memory while hashing a password.");
        insert("INSERT INTO accounts VALUES(?1, ?2)", {a.name, hash}, {});
        for (const auto& [table, p] : a.tables)
            insert("INSERT INTO permissions VALUES(?1, ?2, ?3, ?4, ?5, ?6)", {a.name, table},
                   {p.read, p.update, p.insert, p.remove});
    }
    exec("COMMIT;");
}

} // namespace engine
