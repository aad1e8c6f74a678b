#pragma once

#include <QString>

// libpq's own password file (PGPASSFILE, or ~/.pgpass): a line
// host:port:database:user:password per account, readable by its owner
// alone. A password is written there only when the user asks for it to be
// remembered; the file is replaced whole, never left half-written, and is
// never readable by anyone else, not even while it is being written.
class PasswordFile {
public:
    static QString path();
    // Writes or replaces the line of this server, database and user.
    // Returns why it could not, or an empty text.
    static QString remember(const QString& host, const QString& port, const QString& database,
                            const QString& user, const QString& password);
};
