#pragma once

#include <QDateTime>
#include <QString>

// What the program knows of itself: its folder, its version and legal
// notice, the clock, and how it ends. Tests point the folder elsewhere,
// stop the clock and catch the end.
class ProgramInfo {
public:
    // The program's folder: where its database, workgroup file and update
    // download are (for an installed program, the user's data folder).
    static QString Path();
    static void setPath(const QString& folder);     // empty restores the real one
    static QString fileBeside(const QString& name); // Path, separator, name
    // A file that comes with the program: the help file, the key store.
    static QString resourceFile(const QString& name);
    // Creates and seeds an installed program's data folder; throws
    // std::runtime_error with the path and the reason.
    static void prepareDataFolder();

    static int Major();
    static int Minor();
    static int Revision();
    static QString LegalCopyright();

    static QDateTime Now();
    static void setClock(const QDateTime& fixed); // invalid restores the real clock

    // Ends the whole program at once.
    static void End();
    static void setEndHandler(void (*handler)()); // nullptr restores the real end
};
