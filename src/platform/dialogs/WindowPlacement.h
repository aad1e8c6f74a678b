#pragma once

class QWidget;

// Windows of the program open centred on the screen they appear on.
class WindowPlacement {
public:
    static void centreOnScreen(QWidget* window);
};
