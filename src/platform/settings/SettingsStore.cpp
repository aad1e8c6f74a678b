#include "SettingsStore.h"

#include <QFile>
#include <QStandardPaths>
#include <QStringDecoder>

namespace {

// A value is the whole text after the first "=" of its line, trimmed:
// commas, semicolons, quotes, further "=" and any letters stay as they are.
// Lines that begin with ";" or "#" are comments; section and key names are
// matched without regard to case, as the desktop's INI files are.
class IniStore : public SettingsStore::Implementation {
public:
    QString get(const QString& app, const QString& section, const QString& key,
                const QString& fallback) override {
        QFile file(SettingsStore::iniPath(app));
        if (!file.open(QIODevice::ReadOnly))
            return fallback;
        const QByteArray bytes = file.readAll();
        QStringDecoder utf8(QStringDecoder::Utf8);
        QString text = utf8.decode(bytes);
        if (utf8.hasError())
            text = QString::fromLatin1(bytes); // an older file written in Latin-1
        if (text.startsWith(QChar(0xFEFF)))
            text.remove(0, 1);
        bool inSection = false;
        for (QString line : text.split('\n')) {
            line = line.trimmed();
            if (line.isEmpty() || line.startsWith(';') || line.startsWith('#'))
                continue;
            if (line.startsWith('[') && line.endsWith(']')) {
                inSection =
                    line.mid(1, line.size() - 2).trimmed().compare(section, Qt::CaseInsensitive) ==
                    0;
                continue;
            }
            const auto eq = line.indexOf('=');
            if (inSection && eq > 0 &&
                line.left(eq).trimmed().compare(key, Qt::CaseInsensitive) == 0)
                return line.mid(eq + 1).trimmed();
        }
        return fallback;
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
