#include "TestData.h"

#include "platform/db/EngineError.h"

#include "SampleData.h"
#include "exchange/CsvImport.h"
#include "platform/db/DBEngine.h"
#include "platform/db/Database.h"

#include <sqlite3.h>

#include <arpa/inet.h>
#include <memory>
#include <netinet/in.h>
#include <stdexcept>
#include <sys/socket.h>

TestData::TestData(long rows, std::uint64_t seed) {
    SampleData::Options o;
    o.rows = rows;
    o.seed = seed;
    SampleData::create(dir_.path().toStdString(), o);
}

std::string TestData::databasePath() const {
    return dir_.filePath(SampleData::kDatabaseName).toStdString();
}

std::string TestData::workgroupPath() const {
    return dir_.filePath(SampleData::kWorkgroupName).toStdString();
}

void TestData::logOnAsProgram() const {
    auto& e = engine::DBEngine::instance();
    e.SystemDB = workgroupPath();
    e.DefaultUser = SampleData::kUser;
    e.DefaultPassword = SampleData::kPassword;
}

std::shared_ptr<engine::Database> TestData::open(bool readOnly) const {
    logOnAsProgram();
    return engine::DBEngine::instance().Workspaces(0).OpenDatabase(databasePath(), false, readOnly);
}

#include <QFile>

namespace {
std::unique_ptr<sqlite3, int (*)(sqlite3*)> rawOpen(const std::string& path) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    // Like any program sharing the file, it waits a moment while the program under test
    // writes; reads made while a change is being saved would otherwise fail at random.
    sqlite3_busy_timeout(db, 5000);
    return {db, sqlite3_close};
}
} // namespace

void TestData::rawExec(const std::string& sql) const {
    auto db = rawOpen(databasePath());
    char* msg = nullptr;
    if (sqlite3_exec(db.get(), sql.c_str(), nullptr, nullptr, &msg) != SQLITE_OK) {
        std::string m = msg ? msg : "";
        sqlite3_free(msg);
        throw std::runtime_error(m);
    }
}

long long TestData::rawCount(const std::string& sql) const {
    auto db = rawOpen(databasePath());
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db.get(), sql.c_str(), -1, &s, nullptr) != SQLITE_OK)
        throw std::runtime_error(sqlite3_errmsg(db.get()));
    long long n = -1;
    if (sqlite3_step(s) == SQLITE_ROW)
        n = sqlite3_column_int64(s, 0);
    sqlite3_finalize(s);
    return n;
}

std::string TestData::identity() const {
    auto db = rawOpen(databasePath());
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db.get(), "SELECT value FROM quarzel_meta WHERE key = 'identity'", -1, &s,
                       nullptr);
    std::string id;
    if (sqlite3_step(s) == SQLITE_ROW)
        id = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
    sqlite3_finalize(s);
    return id;
}

int loopbackSocket(int& port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    return fd;
}

int engineErrorOf(const std::function<void()>& f, QString* message) {
    try {
        f();
    } catch (const engine::EngineError& e) {
        if (message)
            *message = QString::fromStdString(e.what());
        return e.number();
    }
    return 0;
}

void TestData::damageRowPage(long long key) const {
    const std::string mark = "DAMAGE-MARK-" + std::to_string(key);
    rawExec("UPDATE DOZIRO1 SET [Doziro Sample#] = '" + mark +
            "' WHERE ID = " + std::to_string(key));
    QFile file(QString::fromStdString(databasePath()));
    if (!file.open(QIODevice::ReadWrite))
        throw std::runtime_error("cannot open the database file to damage it");
    const QByteArray all = file.readAll();
    const long long pageSize = rawCount("PRAGMA page_size");
    file.seek(all.indexOf(QByteArray::fromStdString(mark)) / pageSize * pageSize);
    file.write(QByteArray(12, '\xA7'));
}

QString write(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    QFile f(dir.filePath(name));
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(bytes);
    return f.fileName();
}

ImportPlan importInto(const TestData& d, const QString& file) {
    d.rawExec("DELETE FROM Project1");
    ImportPlan plan = CsvImport::plan(file.toStdString());
    auto db = d.open();
    CsvImport::run(*db, "Project1", plan);
    return plan;
}

long long rows(const TestData& d, const std::string& where) {
    return d.rawCount("SELECT count(*) FROM Project1 WHERE " + where);
}

QString planError(const QString& path) {
    try {
        CsvImport::plan(path.toStdString());
    } catch (const std::exception& e) {
        return e.what();
    }
    return {};
}
