#include "MainMenu.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include <stdexcept>
#include <vector>

namespace {

enum Flags { None = 0, Checked = 1, Disabled = 2, Separator = 4, Checkable = 8 };

struct Entry {
    const char* name;
    int index;
    const char* caption;
    int level;
    int flags;
    const char* shortcut;
};

const Entry kMenu[] = {
    {"mnuFile", -1, "&File", 1, None, ""},
    {"mnuPrint", 1, "&Print Current Row...", 2, None, "Ctrl+O"},
    {"mnuSepBar1", -1, "-", 2, Separator, ""},
    {"mnuExit", -1, "&Exit", 2, None, "Ctrl+E"},
    {"mnuEdit", -1, "&Edit", 1, None, ""},
    {"mnuEdit1", 2, "&Copy", 2, None, ""},
    {"mnuSepBar13", -1, "-", 2, Separator, ""},
    {"mnuEdit3", -1, "&Edit Database", 2, None, ""},
    {"mnuEdit2", 0, "&Enable", 3, Checkable, ""},
    {"mnuEdit2", 1, "&Disable", 3, Checkable | Checked, ""},
    {"mnuRecord", 0, "&New Record", 3, Disabled, ""},
    {"mnuRecord", 1, "&Delete Record", 3, Disabled, ""},
    {"mnuSepBar72", -1, "-", 2, Separator, ""},
    {"mnuActive", -1, "&Active Database", 2, None, ""},
    {"mnuActive1", 0, "&Geochem", 3, Checkable | Checked, ""},
    {"mnuActive1", 1, "Project&1", 3, Checkable, ""},
    {"mnuActive1", 2, "Project&2", 3, Checkable, ""},
    {"mnuActive1", 3, "Project&3", 3, Checkable, ""},
    {"mnuSepBar14", -1, "-", 2, Separator, ""},
    {"mnuAscending", -1, "Sort &Ascending", 2, None, ""},
    {"mnuRockname", -1, "&Rockname", 3, None, "Ctrl+R"},
    {"mnuGeologist", -1, "&Geologist", 3, None, "Ctrl+G"},
    {"mnuDate", -1, "&Date", 3, None, "Ctrl+D"},
    {"mnuLocation", -1, "&Location", 3, None, "Ctrl+L"},
    {"mnuSample", -1, "&Sample #", 3, None, "Ctrl+S"},
    {"mnuDescending", -1, "Sort &Descending", 2, None, ""},
    {"mnuRocknameD", -1, "&Rockname", 3, None, "Ctrl+F1"},
    {"mnuGeologistD", -1, "&Geologist", 3, None, "Ctrl+F2"},
    {"mnuDateD", -1, "&Date", 3, None, "Ctrl+F3"},
    {"mnuLocationD", -1, "&Location", 3, None, "Ctrl+F4"},
    {"mnuSampleD", -1, "&Sample #", 3, None, "Ctrl+F5"},
    {"mnuHelp", -1, "&Help", 1, None, ""},
    {"mnuHelpContents", -1, "Contents...", 2, None, ""},
    {"mnuSepBar10", -1, "-", 2, Separator, ""},
    {"mnuInternet", -1, "&Internet Home", 2, None, ""},
    {"mnuSepBar11", -1, "-", 2, Separator, ""},
    {"mnuAbout", -1, "&About...", 2, None, "Ctrl+A"},
};

QString key(const QString& name, int index) {
    return index < 0 ? name : QString("%1(%2)").arg(name).arg(index);
}

} // namespace

MainMenu::MainMenu(QMenuBar* bar) {
    std::vector<QMenu*> open; // open[level - 1] is the menu that holds items of that level
    const int n = static_cast<int>(std::size(kMenu));
    for (int i = 0; i < n; ++i) {
        const Entry& e = kMenu[i];
        const bool hasChildren = i + 1 < n && kMenu[i + 1].level > e.level;
        open.resize(static_cast<size_t>(e.level - 1));
        QAction* action = nullptr;
        if (hasChildren) {
            QMenu* menu = e.level == 1 ? bar->addMenu(e.caption) : open.back()->addMenu(e.caption);
            menu->setObjectName(e.name);
            action = menu->menuAction();
            open.push_back(menu);
        } else if (e.flags & Separator) {
            action = open.back()->addSeparator();
        } else {
            action = open.back()->addAction(e.caption);
            if (*e.shortcut)
                action->setShortcut(QKeySequence(e.shortcut));
            // Menu shortcuts work anywhere in the window, over the grid too.
            action->setShortcutContext(Qt::WindowShortcut);
        }
        action->setObjectName(key(e.name, e.index));
        if (e.flags & Checkable) {
            action->setCheckable(true);
            action->setChecked(e.flags & Checked);
            // A check mark changes only when a handler sets it, never by
            // itself on a click.
            QObject::connect(action, &QAction::triggered, action,
                             [action](bool now) { action->setChecked(!now); });
        }
        if (e.flags & Disabled)
            action->setEnabled(false);
        items_.insert(key(e.name, e.index), action);
    }
}

QAction* MainMenu::item(const QString& name, int index) const {
    auto it = items_.find(key(name, index));
    if (it == items_.end())
        throw std::out_of_range(("no menu item " + key(name, index)).toStdString());
    return it.value();
}
