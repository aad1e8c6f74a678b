#include "HtmlHelp.h"

#include "HelpWindow.h"

#include <QPointer>
#include <QWidget>

#include <vector>

namespace {
std::vector<QPointer<QWidget>>& windows() {
    static std::vector<QPointer<QWidget>> w;
    return w;
}
} // namespace

QWidget* HtmlHelp::HtmlHelpA(QWidget* owner, const QString& file, int command, int) {
    if (command == HH_CLOSE_ALL) {
        for (auto& w : windows())
            if (w)
                w->close();
        windows().clear();
        return nullptr;
    }
    if (command != HH_DISPLAY_TOPIC)
        return nullptr;
    QWidget* w = HelpWindow::open(file, owner);
    if (w)
        windows().emplace_back(w);
    return w;
}

int HtmlHelp::openWindowCount() {
    int n = 0;
    for (auto& w : windows())
        if (w && w->isVisible())
            ++n;
    return n;
}
