#pragma once

#include "platform/view/View.h"
#include "platform/view/ViewSnapshot.h"

#include <memory>
#include <string>

namespace engine {
class Database;
}

// A command's view of a statement: the View a window shows, over the
// command's own database, with every key read before the command goes on.
// A command line has no window to keep painting, so here every answer is
// waited for where it is asked (the view's answer budget is unbounded for
// the process).
//
// Invariants: the rows are those the window would show for the same
// statement, in its order; nothing follows other users' changes, so the
// rows stay as read while the command prints them.
class CommandView {
public:
    // Throws the engine's error when the statement cannot run or its rows
    // cannot be read.
    CommandView(std::shared_ptr<engine::Database> db, const std::string& statement);

    View& view() { return view_; }
    long rows() const { return view_.keysRead(); }
    // Every key, lent by the view.
    ViewSnapshot snapshot() const;

private:
    View view_;
};
