#include "MessageBox.h"

#include <QApplication>
#include <QMessageBox>

namespace {

class QtMessageBox : public MessageBox::Implementation {
public:
    void show(const QString& text, int style, const QString& title) override {
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        switch (style & 0x70) {
        case 16:
            icon = QMessageBox::Critical;
            break;
        case 32:
            icon = QMessageBox::Question;
            break;
        case 48:
            icon = QMessageBox::Warning;
            break;
        case 64:
            icon = QMessageBox::Information;
            break;
        }
        QMessageBox box(icon, title, text, QMessageBox::Ok, QApplication::activeWindow());
        box.exec();
    }
};

QtMessageBox realBox;
MessageBox::Implementation* current = &realBox;

} // namespace

void MessageBox::Show(const QString& text, int style, const QString& title) {
    current->show(text, style, title.isEmpty() ? QString(kApplicationTitle) : title);
}

void MessageBox::setImplementation(Implementation* impl) {
    current = impl ? impl : &realBox;
}
