#include "SettingsStore.h"

#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace {

class IniStore : public SettingsStore::Implementation {
public:
    QString get(const QString& app, const QString& section, const QString& key,
                const QString& fallback) override {
        const QString path = SettingsStore::iniPath(app);
        if (!QFileInfo::exists(path))
            return fallback;
        QSettings ini(path, QSettings::IniFormat);
        return ini.value(section + "/" + key, fallback).toString();
    }
};

IniStore realStore;
SettingsStore::Implementation* current = &realStore;

} // namespace

QString SettingsStore::iniPath(const QString& app) {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/" + app +
           ".ini";
}

QString SettingsStore::GetSetting(const QString& app, const QString& section, const QString& key,
                                  const QString& fallback) {
    return current->get(app, section, key, fallback);
}

void SettingsStore::setImplementation(Implementation* impl) {
    current = impl ? impl : &realStore;
}
