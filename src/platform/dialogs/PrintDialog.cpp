#include "PrintDialog.h"

#include "platform/printer/PrintError.h"
#include "platform/printer/Printer.h"

#include <QApplication>
#include <QEvent>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QTimer>

namespace {

// Keeps a widget of the dialog hidden even when the dialog shows it again
// (as it does when another printer is chosen).
class StayHidden : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::ShowToParent)
            QTimer::singleShot(0, static_cast<QWidget*>(watched), &QWidget::hide);
        return false;
    }
};

void hide(QPrintDialog& dialog, std::initializer_list<const char*> names) {
    auto* keeper = new StayHidden(&dialog);
    for (const char* name : names)
        for (QWidget* w : dialog.findChildren<QWidget*>(name)) {
            w->hide();
            w->installEventFilter(keeper);
        }
}

class QtPrintDialog : public PrintDialog::Implementation {
public:
    bool showPrinter(QPrinter& printer, int flags, int& copies) override {
        if (flags & 64) {
            QPageSetupDialog dialog(&printer, QApplication::activeWindow());
            return dialog.exec() == QDialog::Accepted;
        }
        QPrintDialog dialog(&printer, QApplication::activeWindow());
        QAbstractPrintDialog::PrintDialogOptions options =
            QAbstractPrintDialog::PrintToFile | QAbstractPrintDialog::PrintShowPageSize;
        if (!(flags & 8))
            options |= QAbstractPrintDialog::PrintPageRange;
        if (!(flags & 4))
            options |= QAbstractPrintDialog::PrintSelection;
        dialog.setOptions(options);
        // The report always prints every page of each copy in order; the
        // dialog offers nothing the report would ignore.
        hide(dialog, {"collate", "reverse"});
        if (flags & 8)
            hide(dialog, {"gbPrintRange", "pageSetLabel", "pageSetCombo"});
        if (dialog.exec() != QDialog::Accepted)
            return false;
        if (flags & 8)
            printer.setPrintRange(QPrinter::AllPages);
        copies = printer.copyCount();
        printer.setCopyCount(1);
        return true;
    }
};

QtPrintDialog realDialog;
PrintDialog::Implementation* current = &realDialog;

} // namespace

void PrintDialog::ShowPrinter() {
    int copies = 1;
    if (!current->showPrinter(Printer::instance().device(), Flags, copies)) {
        if (CancelError)
            throw PrintError(PrintError::kCancel, "Cancel was selected.");
        return;
    }
    Copies = copies < 1 ? 1 : copies;
}

void PrintDialog::setImplementation(Implementation* impl) {
    current = impl ? impl : &realDialog;
}
