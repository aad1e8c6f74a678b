#pragma once

#include "platform/db/KeyList.h"
#include "platform/db/KeySpan.h"

#include <QtGlobal>

#include <memory>
#include <string>

namespace engine {
class Database;
}

// What a reader off the user-interface thread takes of a view: the
// database (to open a connection of its own), the table, every key in the
// view's order and the generation they belong to. The keys are the record
// set's own, lent: taking a snapshot of ten million rows copies nothing,
// and the view's later changes never reach it.
struct ViewSnapshot {
    std::shared_ptr<engine::Database> database;
    std::string table;
    std::shared_ptr<const engine::KeyList> keyList;
    quint64 generation = 0;

    engine::KeySpan keys() const { return *keyList; }
    long size() const { return keyList ? keyList->size() : 0; }
};
