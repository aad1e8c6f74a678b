#pragma once

#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <string>

namespace engine {
class Database;
}
struct ImportPlan;
class TestData;

// The engine's error number of what f throws, 0 when it throws nothing;
// its description goes to message.
int engineErrorOf(const std::function<void()>& f, QString* message = nullptr);

// A TCP socket bound to a free port of 127.0.0.1 (not yet listening); the
// port it got in port.
int loopbackSocket(int& port);

// Writes a file of these bytes into the folder; its path.
QString write(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes);
// Why the import refuses the file, or empty when it does not.
QString planError(const QString& path);
// Imports a file into an emptied Project1; the plan it was imported by.
ImportPlan importInto(const TestData& d, const QString& file);
// How many rows of Project1 the condition selects, read past the engine.
long long rows(const TestData& d, const std::string& where);

// A fresh pair of data files in a temporary folder for one test.
class TestData {
public:
    explicit TestData(long rows = 120, std::uint64_t seed = 7);

    QString dir() const { return dir_.path(); }
    std::string databasePath() const;
    std::string workgroupPath() const;

    // Points the engine at these files with the program's account.
    void logOnAsProgram() const;
    std::shared_ptr<engine::Database> open(bool readOnly = false) const;

    // Runs SQL on the database file directly, bypassing the engine, to set
    // up a situation or check the result independently.
    void rawExec(const std::string& sql) const;
    long long rawCount(const std::string& sql) const;
    // Overwrites the b-tree header of the table page that holds the row
    // with this key, as a bad sector would; the other pages stay readable.
    void damageRowPage(long long key) const;
    // The identity a workgroup file must name to secure this database.
    std::string identity() const;

private:
    QTemporaryDir dir_;
};
