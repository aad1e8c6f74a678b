#pragma once

class QWidget;
struct DatabaseSetting;

// Logs the user on to a collection on a server, always as a person: the
// account the settings name, with what libpq's password file holds for it,
// and otherwise the log-on dialog until the server takes a name and
// password or the user cancels. The program's own account is the file's
// alone and is never offered to a server. Once logged on, the engine's
// default account is the user's, for every connection the program opens
// after (the grid, the diagrams, export, import).
class ServerLogOn {
public:
    // Throws EngineError: BadAccount when the user cancels, and the server's
    // own refusal when it is not about the account (not reachable, no such
    // database, no encrypted connection where one is required).
    static void logOn(const DatabaseSetting& setting, QWidget* parent);
};
