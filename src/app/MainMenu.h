#pragma once

#include <QHash>
#include <QString>

class QAction;
class QMenuBar;

// The main window's menu tree: captions with their mnemonics, separators,
// check marks, disabled items and shortcut keys. Items are found by name,
// and by index for the members of a menu control array.
class MainMenu {
public:
    explicit MainMenu(QMenuBar* bar);

    // Throws std::out_of_range for an unknown item.
    QAction* item(const QString& name, int index = -1) const;

private:
    QHash<QString, QAction*> items_;
};
