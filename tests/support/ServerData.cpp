#include "ServerData.h"

#include "ServerInit.h"
#include "platform/db/Database.h"
#include "platform/db/pg/PgConnection.h"
#include "schema/Schema.h"
#include "support/TestData.h"

#include <atomic>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace {

std::string adminConninfo() {
    const char* c = std::getenv("QUARZEL_TEST_PG");
    return c ? c : "";
}

void run(const std::string& conninfo, const std::string& sql) {
    engine::PgConnection pg(engine::PgLogOn{conninfo, {}, {}, false});
    pg.execScript(sql);
}

void control(const char* action) {
    const char* ctl = std::getenv("QUARZEL_TEST_PG_CTL");
    if (!ctl)
        throw std::runtime_error("no test server to control");
    const std::string command = std::string(ctl) + " " + action + " >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0)
        throw std::runtime_error(std::string("pg_ctl ") + action + " failed");
}

} // namespace

bool ServerData::available() {
    return !adminConninfo().empty();
}

ServerData::ServerData(const TestData& data) {
    static std::atomic<int> counter{0};
    name_ = "quarzel_test_" + std::to_string(getpid()) + "_" + std::to_string(++counter);
    run(adminConninfo(), "CREATE DATABASE " + name_);
    std::ostringstream report;
    serverInit(data.dir().toStdString(), conninfo(), report);
    // The tests log on as a person with every right, made as an
    // administrator makes one; server-init makes none for the program.
    engine::TablePermissions all{true, true, true, true};
    engine::Workgroup::Account tester{kTester, {}, {}};
    for (const char* t : schema::kTables)
        tester.tables[t] = all;
    serverGrant(conninfo(), {tester}, report);
}

ServerData::~ServerData() {
    try {
        run(adminConninfo(), "DROP DATABASE IF EXISTS " + name_ + " WITH (FORCE)");
    } catch (...) {
        // The server may be stopped by the test; its folder goes anyway.
    }
}

std::string ServerData::conninfo() const {
    return adminConninfo() + " dbname=" + name_;
}

std::shared_ptr<engine::Database> ServerData::open(bool readOnly, const std::string& user) const {
    return engine::Database::openServer(conninfo(), user, {}, readOnly);
}

void ServerData::admin(const std::string& sql) const {
    run(conninfo(), sql);
}

long long ServerData::count(const std::string& sql) const {
    engine::PgConnection pg(engine::PgLogOn{conninfo(), {}, {}, false});
    engine::PgResult r = pg.exec(sql);
    return r.rows() ? r.integer(0, 0) : -1;
}

void ServerData::stopServer() {
    control("-m fast stop");
}

void ServerData::startServer() {
    control("start");
}
