#include "PrintDialog.h"

#include "platform/printer/PrintError.h"
#include "platform/printer/Printer.h"

#include <QApplication>
#include <QPageSetupDialog>
#include <QPrintDialog>

namespace {

class QtPrintDialog : public PrintDialog::Implementation {
public:
    bool showPrinter(QPrinter& printer, int flags, int& copies) override {
        if (flags & 64) {
            QPageSetupDialog dialog(&printer, QApplication::activeWindow());
            return dialog.exec() == QDialog::Accepted;
        }
        QPrintDialog dialog(&printer, QApplication::activeWindow());
        QAbstractPrintDialog::PrintDialogOptions options = QAbstractPrintDialog::PrintToFile |
                                                           QAbstractPrintDialog::PrintShowPageSize |
                                                           QAbstractPrintDialog::PrintCollateCopies;
        if (!(flags & 8))
            options |= QAbstractPrintDialog::PrintPageRange;
        if (!(flags & 4))
            options |= QAbstractPrintDialog::PrintSelection;
        dialog.setOptions(options);
        if (dialog.exec() != QDialog::Accepted)
            return false;
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
