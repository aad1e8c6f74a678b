#pragma once

#include <QString>

// The per-user settings store, read only: an INI file per application in
// the user's configuration folder (for "Stonarc": Stonarc.ini), one section
// per group. A missing file or key gives the default.
class SettingsStore {
public:
    class Implementation {
    public:
        virtual ~Implementation() = default;
        virtual QString get(const QString& app, const QString& section, const QString& key,
                            const QString& fallback) = 0;
    };

    static QString GetSetting(const QString& app, const QString& section, const QString& key,
                              const QString& fallback = QString());
    static QString iniPath(const QString& app);
    static void setImplementation(Implementation* impl);
};
