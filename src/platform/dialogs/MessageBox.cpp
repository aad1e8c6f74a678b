#include "MessageBox.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

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
        if (text.count('\n') >= MessageBox::kScrollingLines)
            return MessageBox::questionDialog(text, title, yes, no, QApplication::activeWindow())
                       ->exec() == QDialog::Accepted;
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

std::unique_ptr<QDialog> MessageBox::questionDialog(const QString& text, const QString& title,
                                                   const QString& yes, const QString& no,
                                                   QWidget* parent) {
    // The last line is the question; everything above it scrolls, so that
    // the answer buttons stay on the screen however long the text.
    const qsizetype cut = text.trimmed().lastIndexOf('\n');
    const QString body = cut < 0 ? QString() : text.left(cut);
    const QString question = cut < 0 ? text : text.mid(cut + 1).trimmed();
    auto dialog = std::make_unique<QDialog>(parent);
    dialog->setWindowTitle(title);
    auto* layout = new QVBoxLayout(dialog.get());
    auto* details = new QPlainTextEdit(body);
    details->setObjectName("details");
    details->setReadOnly(true);
    details->setLineWrapMode(QPlainTextEdit::NoWrap);
    layout->addWidget(details, 1);
    auto* asked = new QLabel(question);
    asked->setWordWrap(true);
    layout->addWidget(asked);
    auto* buttons = new QDialogButtonBox;
    QPushButton* go = buttons->addButton(yes, QDialogButtonBox::AcceptRole);
    buttons->addButton(no, QDialogButtonBox::RejectRole);
    go->setDefault(true);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog.get(), &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog.get(), &QDialog::reject);
    layout->addWidget(buttons);
    // As tall as the text needs, but never taller than the screen it is on.
    const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    const QRect room = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    const QFontMetrics metrics(details->font());
    int widest = 0;
    for (const QString& line : body.split('\n'))
        widest = std::max(widest, metrics.horizontalAdvance(line));
    const int width = std::min(room.width() * 9 / 10, std::max(420, widest + 60));
    const int height =
        std::min(room.height() * 8 / 10, metrics.lineSpacing() * (int(body.count('\n')) + 2) + 140);
    dialog->resize(width, height);
    dialog->setMaximumSize(room.size());
    return dialog;
}

void MessageBox::setImplementation(Implementation* impl) {
    current = impl ? impl : &realBox;
}
