#pragma once

#include "TablePermissions.h"

#include <map>
#include <string>
#include <vector>

namespace engine {

// The workgroup information file: accounts with password hashes, what each
// account may do with each table, and the identity of the database that the
// file secures. A file that cannot be read as such never grants anything.
class Workgroup {
public:
    struct Account {
        std::string name;
        std::string password;
        std::map<std::string, TablePermissions> tables;
    };

    // Reads the file and logs the user on. Throws EngineError when the file is
    // missing or damaged, or the account or password is wrong.
    static Workgroup logOn(const std::string& path, const std::string& user,
                           const std::string& password);

    // Every account of the file with its rights to each table (passwords
    // are not read: the file keeps only their hashes). Throws EngineError
    // when the file is missing or damaged.
    static std::vector<Account> accounts(const std::string& path);

    // Writes a new workgroup file (replacing any file of that name).
    static void create(const std::string& path, const std::string& databaseIdentity,
                       const std::vector<Account>& accounts);

    const std::string& databaseIdentity() const { return identity_; }
    const std::string& user() const { return user_; }
    TablePermissions permissions(const std::string& table) const;
    // Each right the account holds on at least one table.
    TablePermissions anyTable() const;

private:
    std::string user_;
    std::string identity_;
    std::map<std::string, TablePermissions> tables_; // keys upper-cased
};

} // namespace engine
