#pragma once

#include <QString>

// Where the collection is kept, as the settings file's [Database] section
// names it: Server=host[:port] (a bracketed IPv6 address may carry a port
// too), Name=the database, User=an account of the server's own. Without a
// Server the program keeps its file.
struct DatabaseSetting {
    bool onServer = false;
    QString openName; // for the engine: "server:" and a libpq connection string
    QString user;     // empty: the program's own account
    QString error;    // why the settings cannot be used, when they cannot

    static DatabaseSetting fromValues(const QString& server, const QString& name,
                                      const QString& user);
    // From the settings file of this application.
    static DatabaseSetting read(const QString& app);
};
