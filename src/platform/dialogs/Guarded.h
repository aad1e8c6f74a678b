#pragma once

#include "MessageBox.h"
#include "Screen.h"

#include <exception>
#include <utility>

// A command run from the event loop (a menu, a button, a timer, a thread's
// answer): what it throws is shown as the program shows a database error,
// with the default pointer again, and never leaves the slot to end the
// program with an edit still pending.
template <class Command> void runGuarded(Command&& command) {
    try {
        std::forward<Command>(command)();
    } catch (const std::exception& e) {
        MessageBox::Show(QString::fromStdString(e.what()), 48, "DataBase Error");
        Screen::setMousePointer(0);
    }
}

// The same, as a slot to connect.
template <class Command> auto guarded(Command command) {
    return [command = std::move(command)](auto&&...) { runGuarded(command); };
}
