#include "ProgramInfo.h"

#include "DataFolder.h"
#include "Version.h"

#include <QCoreApplication>
#include <QDir>

namespace {
QString pathOverride;
QDateTime fixedClock;
void (*endHandler)() = nullptr;
} // namespace

namespace {
const DataFolder::Places& places() {
    static const DataFolder::Places p =
        DataFolder::locate(QCoreApplication::applicationDirPath(),
                           qEnvironmentVariable("XDG_DATA_HOME"), QDir::homePath());
    return p;
}
} // namespace

QString ProgramInfo::Path() {
    return pathOverride.isEmpty() ? places().data : pathOverride;
}

QString ProgramInfo::resourceFile(const QString& name) {
    return (pathOverride.isEmpty() ? places().resources : pathOverride) + QDir::separator() + name;
}

void ProgramInfo::prepareDataFolder() {
    if (pathOverride.isEmpty())
        DataFolder::prepare(places());
}

void ProgramInfo::setPath(const QString& folder) {
    pathOverride = folder;
}

QString ProgramInfo::fileBeside(const QString& name) {
    return Path() + QDir::separator() + name;
}

int ProgramInfo::Major() {
    return QUARZEL_VERSION_MAJOR;
}
int ProgramInfo::Minor() {
    return QUARZEL_VERSION_MINOR;
}
int ProgramInfo::Revision() {
    return QUARZEL_VERSION_REVISION;
}
QString ProgramInfo::LegalCopyright() {
    return QStringLiteral(QUARZEL_COPYRIGHT);
}

QDateTime ProgramInfo::Now() {
    return fixedClock.isValid() ? fixedClock : QDateTime::currentDateTime();
}
void ProgramInfo::setClock(const QDateTime& fixed) {
    fixedClock = fixed;
}

void ProgramInfo::End() {
    if (endHandler) {
        endHandler();
        return;
    }
    QCoreApplication::exit(0);
}

void ProgramInfo::setEndHandler(void (*handler)()) {
    endHandler = handler;
}
