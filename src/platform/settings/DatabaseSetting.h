#pragma once

#include <QString>

// Where the collection is kept, as the settings file's [Database] section
// names it: Server=host[:port] (a bracketed IPv6 address may carry a port
// too), Name=the database, User=an account of the server's own,
// SslMode=libpq's sslmode and SslRootCert=the certificate the server's is
// checked against. Without a Server the program keeps its file.
//
// A server not on this machine is reached over TLS with its certificate
// checked against its name (verify-full) unless SslMode says otherwise:
// a password is never offered to whatever answers at the address.
struct DatabaseSetting {
    bool onServer = false;
    QString openName;             // for the engine: "server:" and a libpq connection string
    QString user;                 // empty: the user is asked
    QString host, port, database; // as libpq's password file names the server
    QString error;                // why the settings cannot be used, when they cannot

    static DatabaseSetting fromValues(const QString& server, const QString& name,
                                      const QString& user, const QString& sslMode = {},
                                      const QString& sslRootCert = {});
    // From the settings file of this application.
    static DatabaseSetting read(const QString& app);
    // Whether host names this machine (a socket folder or a loopback name).
    static bool isLocal(const QString& host);
};
