#include "BackendData.h"

#include <QtTest>

BackendData::BackendData(const QString& kind, long rows, const std::string& setupSql)
    : file_(rows) {
    if (!setupSql.empty())
        file_.rawExec(setupSql);
    if (kind == "server")
        server_ = std::make_unique<ServerData>(file_);
}

std::shared_ptr<engine::Database> BackendData::open(bool readOnly) const {
    return server_ ? server_->open(readOnly) : file_.open(readOnly);
}

long long BackendData::count(const std::string& where) const {
    return server_ ? server_->count("SELECT count(*) FROM \"DOZIRO1\" WHERE " + where)
                   : file_.rawCount("SELECT count(*) FROM DOZIRO1 WHERE " + where);
}

void addBackends() {
    QTest::addColumn<QString>("backend");
    QTest::newRow("file") << "file";
    if (ServerData::available())
        QTest::newRow("server") << "server";
}
