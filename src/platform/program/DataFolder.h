#pragma once

#include <QString>

// Where the program keeps its files. A program whose own folder holds the
// database and may be written to (a build folder, a portable copy) keeps
// everything there. An installed program reads its help and shipped files
// from the installation's share/quarzel folder and keeps each user's data
// in $XDG_DATA_HOME/quarzel (~/.local/share/quarzel), seeded on first start
// with the shipped sample database and workgroup file. Nothing is ever
// written into the installed tree, and a user's files are never replaced.
class DataFolder {
public:
    struct Places {
        QString data;      // the database, the workgroup file, the update download
        QString resources; // the help file and the key store
        bool installed = false;
    };

    static Places locate(const QString& programDir, const QString& xdgDataHome,
                         const QString& home);

    // Creates the data folder and copies in the shipped files it lacks, each
    // under a temporary name first, so that an interrupted copy is never
    // taken for a database. Throws std::runtime_error with the path and the
    // reason.
    static void prepare(const Places& places);

    static constexpr const char* kSeeded[] = {"tarnvel.mdw", "quarzdb32.mdb"};
};
