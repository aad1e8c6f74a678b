#include "PasswordFile.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStringList>

namespace {

// A field as libpq reads it: a colon or backslash escaped with a backslash.
QString field(const QString& value) {
    QString v = value;
    v.replace("\\", "\\\\");
    v.replace(":", "\\:");
    return v;
}

// The first four fields of a line, as written (escapes kept), or nothing
// for a comment or a line too short to name an account.
QString accountOf(const QString& line) {
    if (line.startsWith('#'))
        return {};
    int fields = 0;
    for (int i = 0; i < line.size(); ++i) {
        if (line[i] == '\\') {
            ++i;
            continue;
        }
        if (line[i] == ':' && ++fields == 4)
            return line.left(i);
    }
    return {};
}

} // namespace

QString PasswordFile::path() {
    const QString set = qEnvironmentVariable("PGPASSFILE");
    return set.isEmpty() ? QDir::homePath() + "/.pgpass" : set;
}

QString PasswordFile::remember(const QString& host, const QString& port, const QString& database,
                               const QString& user, const QString& password) {
    const QString file = path();
    const QString account =
        field(host) + ":" + field(port) + ":" + field(database) + ":" + field(user);
    QStringList lines;
    QFile old(file);
    if (old.exists()) {
        if (!old.open(QIODevice::ReadOnly))
            return "The password file '" + file + "' cannot be read: " + old.errorString();
        for (const QString& line : QString::fromUtf8(old.readAll()).split('\n'))
            if (!line.isEmpty() && accountOf(line) != account)
                lines << line;
    }
    lines << account + ":" + field(password);
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly))
        return "The password file '" + file + "' cannot be written: " + out.errorString();
    // The new file is its owner's alone before a byte of it is written.
    out.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    out.write((lines.join('\n') + '\n').toUtf8());
    if (!out.commit())
        return "The password file '" + file + "' cannot be written: " + out.errorString();
    return {};
}
