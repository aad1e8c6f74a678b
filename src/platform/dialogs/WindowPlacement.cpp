#include "WindowPlacement.h"

#include <QScreen>
#include <QWidget>

void WindowPlacement::centreOnScreen(QWidget* window) {
    if (const QScreen* s = window->screen()) {
        QRect r = window->frameGeometry();
        r.moveCenter(s->availableGeometry().center());
        window->move(r.topLeft());
    }
}
