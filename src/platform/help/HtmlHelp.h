#pragma once

#include <QString>

class QWidget;

// The help viewer: opens a compiled help file in a help window owned by a
// window of the program, and closes every help window it opened.
class HtmlHelp {
public:
    static constexpr int HH_DISPLAY_TOPIC = 0;
    static constexpr int HH_CLOSE_ALL = 18;

    // Returns the help window for command 0 (nullptr when the file could not
    // be shown), nullptr for every other command.
    static QWidget* HtmlHelpA(QWidget* owner, const QString& file, int command, int data);
    static int openWindowCount();
};
