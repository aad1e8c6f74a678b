#include "MessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

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
    bool ask(const QString& text, const QString& title, const QString& yes,
             const QString& no) override {
        QMessageBox box(QMessageBox::Question, title, text, QMessageBox::NoButton,
                        QApplication::activeWindow());
        QPushButton* go = box.addButton(yes, QMessageBox::AcceptRole);
        box.addButton(no, QMessageBox::RejectRole);
        box.setDefaultButton(go);
        box.exec();
        return box.clickedButton() == go;
    }
};

QtMessageBox realBox;
MessageBox::Implementation* current = &realBox;

} // namespace

void MessageBox::Show(const QString& text, int style, const QString& title) {
    current->show(text, style, title.isEmpty() ? QString(kApplicationTitle) : title);
}

bool MessageBox::Ask(const QString& text, const QString& title, const QString& yes,
                     const QString& no) {
    return current->ask(text, title, yes, no);
}

void MessageBox::setImplementation(Implementation* impl) {
    current = impl ? impl : &realBox;
}
