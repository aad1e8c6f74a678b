#pragma once

#include <QDateTime>
#include <QString>

// What the program knows of itself: its folder, its version and legal
// notice, the clock, and how it ends. Tests point the folder elsewhere,
// stop the clock and catch the end.
class ProgramInfo {
public:
    static QString Path();                          // the folder of the running program
    static void setPath(const QString& folder);     // empty restores the real one
    static QString fileBeside(const QString& name); // Path, separator, name

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
