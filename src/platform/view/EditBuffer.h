#pragma once

#include <QString>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// An edit under way, named by what it edits and never by where that is
// shown: the table, the row's key and the version the row was read at,
// the row as read, and the changed cells. It outlives any move of its row
// (another user's change, a sort) and is saved into that row or nowhere.
struct EditBuffer {
    std::string table;
    std::int64_t key = -1;
    std::string version;           // empty where the back end keeps none
    std::vector<std::string> read; // every cell as the row was read
    std::map<int, QString> changes;

    bool empty() const { return changes.empty(); }
};
