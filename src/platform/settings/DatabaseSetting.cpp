#include "DatabaseSetting.h"

#include "SettingsStore.h"

#include <QStringList>

namespace {

// A value in a libpq connection string: quoted, with its quotes and
// backslashes escaped, so that no value can add a setting of its own.
QString quoted(const QString& value) {
    QString v = value;
    v.replace("\\", "\\\\");
    v.replace("'", "\\'");
    return "'" + v + "'";
}

const QStringList kSslModes = {"disable", "allow", "prefer", "require", "verify-ca", "verify-full"};

} // namespace

bool DatabaseSetting::isLocal(const QString& host) {
    return host.startsWith('/') || host.compare("localhost", Qt::CaseInsensitive) == 0 ||
           host == "127.0.0.1" || host == "::1";
}

DatabaseSetting DatabaseSetting::fromValues(const QString& server, const QString& name,
                                            const QString& user, const QString& sslMode,
                                            const QString& sslRootCert) {
    DatabaseSetting s;
    const QString where = server.trimmed();
    if (where.isEmpty())
        return s;
    s.onServer = true;
    s.user = user.trimmed();
    QString host = where, port;
    if (where.startsWith('[')) {
        const int close = where.indexOf(']');
        host = where.mid(1, close - 1);
        const QString rest = close < 0 ? QString() : where.mid(close + 1);
        if (close < 0 || (!rest.isEmpty() && !rest.startsWith(':')))
            s.error = "The server '" + where + "' in the settings is not host[:port].";
        port = rest.mid(1);
    } else if (where.count(':') == 1) {
        host = where.section(':', 0, 0);
        port = where.section(':', 1);
    }
    bool ok = true;
    const int number = port.isEmpty() ? 0 : port.toInt(&ok);
    if (s.error.isEmpty() &&
        (host.isEmpty() || !ok || number < 0 || number > 65535 || (!port.isEmpty() && number == 0)))
        s.error = "The server '" + where +
                  "' in the settings is not host[:port] with a port "
                  "from 1 to 65535.";
    const QString mode = sslMode.trimmed().toLower();
    if (s.error.isEmpty() && !mode.isEmpty() && !kSslModes.contains(mode))
        s.error = "The SslMode '" + sslMode.trimmed() + "' in the settings is not one of " +
                  kSslModes.join(", ") + ".";
    s.host = host;
    s.port = port.isEmpty() ? QString("5432") : port;
    s.database = name.trimmed().isEmpty() ? QString("quarzel") : name.trimmed();
    s.openName = "server:host=" + quoted(host) + (port.isEmpty() ? "" : " port=" + port) +
                 " dbname=" + quoted(s.database);
    if (!mode.isEmpty())
        s.openName += " sslmode=" + mode;
    else if (!isLocal(host))
        s.openName += " sslmode=verify-full";
    if (!sslRootCert.trimmed().isEmpty())
        s.openName += " sslrootcert=" + quoted(sslRootCert.trimmed());
    return s;
}

DatabaseSetting DatabaseSetting::read(const QString& app) {
    auto get = [&](const char* key) { return SettingsStore::GetSetting(app, "Database", key); };
    return fromValues(get("Server"), get("Name"), get("User"), get("SslMode"), get("SslRootCert"));
}
