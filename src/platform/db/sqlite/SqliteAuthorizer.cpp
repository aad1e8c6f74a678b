// What a statement of the account's may touch in the file: the
// workgroup's rights per table, the tables kept beside each table (its
// substring index, history and values) with that table's rights, and
// nothing of SQLite's own but the schema. Internal statements, whose
// rights were checked before, run with it off.
#include "SqliteDatabase.h"
#include "platform/db/SqlText.h"

#include "SqliteHistory.h"

#include <sqlite3.h>

#include <string>
#include <string_view>

namespace engine {

int SqliteDatabase::authorize(void* self, int action, const char* a, const char* b, const char*,
                              const char* trigger) {
    auto* d = static_cast<SqliteDatabase*>(self);
    if (d->internal_)
        return SQLITE_OK;
    auto deny = [&](const std::string& object, const char* what) {
        d->deniedObject_ = object;
        d->deniedAction_ = what;
        return SQLITE_DENY;
    };
    // The substring index of a table (and FTS5's tables behind it) is read
    // with the table's read right, and written by the table's triggers
    // whenever its rows may be changed.
    if (a && (action == SQLITE_READ || action == SQLITE_INSERT || action == SQLITE_UPDATE ||
              action == SQLITE_DELETE)) {
        const std::string name = a;
        const auto at = asciiLower(name).find("_trigram");
        if (at != std::string::npos && at > 0) {
            const TablePermissions p = d->workgroup_.permissions(name.substr(0, at));
            const bool ok = action == SQLITE_READ ? p.read : (p.insert || p.update || p.remove);
            return ok ? SQLITE_OK
                      : deny(name.substr(0, at), action == SQLITE_READ ? "read" : "update");
        }
    }
    // The history's own triggers read the row they keep, whoever changes it
    // (the entry is then read with the table's read right alone).
    if (action == SQLITE_READ && trigger && asciiLower(trigger).starts_with("quarzel_history_"))
        return SQLITE_OK;
    // A table's history is read with the table's read right, written only
    // by this connection's triggers (for whoever may change the table) and
    // never changed.
    if (a && (action == SQLITE_READ || action == SQLITE_INSERT || action == SQLITE_UPDATE ||
              action == SQLITE_DELETE)) {
        std::string table;
        if (SqliteHistory::isHistoryTable(asciiLower(a), table)) {
            const TablePermissions p = d->workgroup_.permissions(table);
            if (action == SQLITE_READ)
                return p.read ? SQLITE_OK : deny(table, "read");
            if (action == SQLITE_INSERT && trigger && (p.insert || p.update || p.remove))
                return SQLITE_OK;
            return deny(a, action == SQLITE_INSERT   ? "insert"
                           : action == SQLITE_UPDATE ? "update"
                                                     : "delete");
        }
    }
    // A table's values have the table's rights; the dictionaries of the
    // values are read with any table's read right, and added to by whoever
    // may insert into a table.
    if (a && (action == SQLITE_READ || action == SQLITE_INSERT || action == SQLITE_UPDATE ||
              action == SQLITE_DELETE)) {
        const std::string name = asciiLower(a);
        constexpr std::string_view suffix = "_values";
        if (name.size() > suffix.size() && name.ends_with(suffix)) {
            const std::string table(a, name.size() - suffix.size());
            const TablePermissions p = d->workgroup_.permissions(table);
            const bool ok = action == SQLITE_READ     ? p.read
                            : action == SQLITE_INSERT ? p.insert
                            : action == SQLITE_UPDATE ? p.update
                                                      : p.remove;
            static const char* const what[] = {"read", "insert", "update", "delete"};
            const int at = action == SQLITE_READ     ? 0
                           : action == SQLITE_INSERT ? 1
                           : action == SQLITE_UPDATE ? 2
                                                     : 3;
            return ok ? SQLITE_OK : deny(table, what[at]);
        }
        if (name == "quarzel_channel" || name == "quarzel_reference") {
            const TablePermissions any = d->workgroup_.anyTable();
            if (action == SQLITE_READ)
                return any.read ? SQLITE_OK : deny(a, "read");
            if (action == SQLITE_INSERT)
                return any.insert ? SQLITE_OK : deny(a, "insert");
            return deny(a, action == SQLITE_UPDATE ? "update" : "delete");
        }
    }
    switch (action) {
    case SQLITE_SELECT:
    case SQLITE_FUNCTION:
    case SQLITE_RECURSIVE:
        return SQLITE_OK;
    case SQLITE_READ:
        // The schema may be read (the substring index's module reads it; it
        // holds no secret); SQLite's other tables may not.
        if (a && asciiLower(a) == "sqlite_master")
            return SQLITE_OK;
        if (a && asciiLower(a).starts_with("sqlite_"))
            return deny(a, "read");
        return d->workgroup_.permissions(a ? a : "").read ? SQLITE_OK : deny(a ? a : "", "read");
    case SQLITE_INSERT:
        if (a && asciiLower(a) == "sqlite_sequence")
            return SQLITE_OK;
        return d->workgroup_.permissions(a ? a : "").insert ? SQLITE_OK
                                                            : deny(a ? a : "", "insert");
    case SQLITE_UPDATE:
        // The substring index's module prepares an update of the schema
        // table; SQLite itself refuses any write to it (the schema cannot
        // be made writable: PRAGMA is refused here).
        if (a && (asciiLower(a) == "sqlite_sequence" || asciiLower(a) == "sqlite_master"))
            return SQLITE_OK;
        return d->workgroup_.permissions(a ? a : "").update ? SQLITE_OK
                                                            : deny(a ? a : "", "update");
    case SQLITE_DELETE:
        return d->workgroup_.permissions(a ? a : "").remove ? SQLITE_OK
                                                            : deny(a ? a : "", "delete");
    case SQLITE_PRAGMA:
        // The substring index's module asks whether the file changed; that
        // pragma reads, and changes nothing.
        if (a && asciiLower(a) == "data_version" && !b)
            return SQLITE_OK;
        return deny({}, "statement");
    default:
        (void)b;
        return deny({}, "statement");
    }
}

} // namespace engine
