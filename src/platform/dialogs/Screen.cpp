#include "Screen.h"

#include <QApplication>
#include <QCursor>

namespace {

class QtCursor : public Screen::Implementation {
public:
    void setMousePointer(int pointer) override {
        while (QApplication::overrideCursor())
            QApplication::restoreOverrideCursor();
        if (pointer == 11)
            QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    }
};

QtCursor realCursor;
Screen::Implementation* current = &realCursor;
int pointerNow = 0;

} // namespace

void Screen::setMousePointer(int pointer) {
    pointerNow = pointer;
    current->setMousePointer(pointer);
}

int Screen::MousePointer() {
    return pointerNow;
}

void Screen::setImplementation(Implementation* impl) {
    current = impl ? impl : &realCursor;
}
