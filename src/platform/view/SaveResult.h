#pragma once

#include <QString>

#include <string>
#include <vector>

// What a save met. Saved and Deleted need no more; Conflict carries every
// column the two users see differently, Failed the engine's code and words.
struct SaveResult {
    enum class Kind { Saved, Conflict, Deleted, Failed };
    struct Column {
        int column = -1;
        QString name;
        QString read;   // as this user read it
        QString mine;   // this user's value (the read one when not changed here)
        QString theirs; // as stored now
        bool changedHere = false;
    };
    Kind kind = Kind::Saved;
    std::vector<Column> columns;     // Conflict
    std::string version;             // Conflict: the other user's version
    std::vector<std::string> theirs; // Conflict: their row, every cell
    int code = 0;                    // Failed, Deleted
    QString text;                    // Failed, Deleted: the engine's words
};
