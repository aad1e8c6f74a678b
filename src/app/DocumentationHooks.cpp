#include "DocumentationHooks.h"

#include "QuarzelDatabase.h"
#include "ToolsController.h"
#include "diagram/DiagramWindow.h"
#include "diagram/NormWindow.h"
#include "platform/dialogs/PrintDialog.h"
#include "print/PrintController.h"

#include "platform/data/DBGrid.h"

#include <QApplication>
#include <QPrinter>
#include <QTimer>
#include <cstdio>

namespace {

class PdfAnswer : public PrintDialog::Implementation {
public:
    explicit PdfAnswer(QString file) : file_(std::move(file)) {}
    bool showPrinter(QPrinter& printer, int, int& copies) override {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(file_);
        copies = 1;
        return true;
    }

private:
    QString file_;
};

} // namespace

void installDocumentationHooks(QuarzelDatabase& window) {
    const QString importFile = qEnvironmentVariable("QUARZEL_IMPORT_FILE");
    if (!importFile.isEmpty()) {
        // The import of that file, its preview shown as to a user.
        QTimer::singleShot(500, &window,
                           [&window, importFile] { window.tools().importCsv(importFile); });
        return;
    }
    const QString tasShot = qEnvironmentVariable("QUARZEL_TAS_SCREENSHOT");
    if (!tasShot.isEmpty()) {
        // The diagram window on the current view, once its rows are read.
        // QUARZEL_DIAGRAM names another diagram (k2o, afm, shand, harker,
        // harker:COLUMN); QUARZEL_DIAGRAM_COLOURS a text column to colour by.
        const QString kind = qEnvironmentVariable("QUARZEL_DIAGRAM");
        const int colours = qEnvironmentVariableIsSet("QUARZEL_DIAGRAM_COLOURS")
                                ? qEnvironmentVariableIntValue("QUARZEL_DIAGRAM_COLOURS")
                                : -1;
        QTimer::singleShot(500, &window, [&window, tasShot, kind, colours] {
            window.tools().mnuTas_Click();
            DiagramWindow* tas = window.tools().diagramWindow();
            if (!kind.isEmpty())
                tas->chooseDiagram(kind);
            tas->colourBy(colours);
            QObject::connect(tas, &DiagramWindow::loaded, tas, [tas, tasShot] {
                QTimer::singleShot(300, tas, [tas, tasShot] {
                    tas->grab().save(tasShot);
                    QApplication::exit(0);
                });
            });
        });
        return;
    }
    const QString normShot = qEnvironmentVariable("QUARZEL_NORM_SCREENSHOT");
    if (!normShot.isEmpty()) {
        // The Norm window on the row QUARZEL_NORM_ROW (counted from 0) of
        // the first view.
        const long row = qEnvironmentVariableIntValue("QUARZEL_NORM_ROW");
        QTimer::singleShot(500, &window, [&window, normShot, row] {
            window.vaSpread1->setRow(row);
            window.tools().mnuNorm_Click();
            NormWindow* norm = window.tools().normWindow();
            QTimer::singleShot(300, norm, [norm, normShot] {
                norm->grab().save(normShot);
                QApplication::exit(0);
            });
        });
        return;
    }
    const QString shot = qEnvironmentVariable("QUARZEL_SCREENSHOT");
    const QString pdf = qEnvironmentVariable("QUARZEL_REPORT_PDF");
    if (shot.isEmpty() && pdf.isEmpty())
        return;
    QTimer::singleShot(1500, &window, [&window, shot, pdf] {
        if (!shot.isEmpty())
            window.grab().save(shot);
        if (!pdf.isEmpty()) {
            static PdfAnswer answer(pdf);
            PrintDialog::setImplementation(&answer);
            window.printing().mnuPrint_Click(1);
        }
        QApplication::exit(0);
    });
}

namespace {

class FirstPaint : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !done_) {
            done_ = true;
            // After this paint has finished.
            QTimer::singleShot(0, watched, [] {
                std::fputs("painted\n", stdout);
                std::fflush(stdout);
                QApplication::exit(0);
            });
        }
        return false;
    }

private:
    bool done_ = false;
};

} // namespace

void reportFirstPaint(QuarzelDatabase& window) {
    window.vaSpread1->viewport()->installEventFilter(new FirstPaint(&window));
}
