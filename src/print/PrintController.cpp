// Printing: the current-row report and the second report layout.
#include "PrintController.h"

#include "ReportLayout.h"
#include "ValuesPage.h"
#include "form/Globals.h"
#include "form/MainForm.h"
#include "platform/data/DBGrid.h"
#include "platform/data/DataControl.h"
#include "platform/db/Database.h"
#include "platform/dialogs/Guarded.h"
#include "platform/dialogs/MessageBox.h"
#include "platform/dialogs/PrintDialog.h"
#include "platform/dialogs/Screen.h"
#include "platform/printer/PrintError.h"
#include "platform/printer/Printer.h"
#include "platform/program/ProgramInfo.h"
#include "schema/Schema.h"

#include <QAction>
#include <QLocale>

namespace {

void setPrinterFont(Printer& p, double size) {
    p.setFontSize(size);
    p.setFontName("Arial");
    p.setFontSize(size);
    p.setFontBold(false);
    p.setFontItalic(false);
}

void printDateAndTime(Printer& p) {
    const QDateTime now = ProgramInfo::Now();
    const QLocale locale = QLocale::system();
    p.Print(locale.toString(now.date(), QLocale::ShortFormat));
    p.Print(locale.toString(now.time(), QLocale::LongFormat));
    p.Print("");
}

void reportFailure(const std::exception& e) {
    Printer::instance().KillDoc();
    if (auto* pe = dynamic_cast<const PrintError*>(&e); pe && pe->number() == PrintError::kCancel)
        return; // Cancel in the dialog ends the command quietly
    MessageBox::Show(QString::fromStdString(e.what()), 48, "Print Error");
    Screen::setMousePointer(0);
}

} // namespace

PrintController::PrintController(MainForm& form)
    : CommonDialog1(std::make_unique<PrintDialog>()), form_(form) {
    QObject::connect(form.menuItem("mnuPrint", 1), &QAction::triggered, form.formWidget(),
                     guarded([this] { mnuPrint_Click(1); }));
}

PrintController::~PrintController() = default;

void PrintController::mnuPrint_Click(short Index) {
    if (Index == 1)
        Printdata1();
    else if (Index == 2)
        PrintData();
}

QStringList PrintController::readCurrentRow(int columns) {
    QStringList values;
    for (int c = 0; c < columns; ++c) {
        form_.vaSpread1->setCol(c);
        values << form_.vaSpread1->Text();
    }
    return values;
}

void PrintController::printHeading(double bodySize) {
    Printer& p = Printer::instance();
    // The title names the table whose rows are printed.
    const QString title =
        ReportLayout::titleFor(form_.Data1->RecordSource(), ActiveDatabase).toUpper();
    setPrinterFont(p, 18);
    p.setScaleWidth(100);
    p.setScaleHeight(200);
    p.setCurrentY(1);
    printCentred(title);
    setPrinterFont(p, bodySize);
    printDateAndTime(p);
}

void PrintController::printCentred(const QString& text) {
    Printer& p = Printer::instance();
    p.setCurrentX(p.ScaleWidth() / 2 - p.TextWidth(text) / 2);
    p.Print(text);
}

void PrintController::printPair(const QString& label, const QString& value) {
    Printer& p = Printer::instance();
    p.setFontBold(true);
    p.Print(label);
    p.setFontBold(false);
    p.Print(value);
}

void PrintController::Printdata1() {
    try {
        CommonDialog1->CancelError = true;
        CommonDialog1->Flags = 1048588;
        CommonDialog1->ShowPrinter();
        Printer& p = Printer::instance();
        p.setOrientation(1);
        p.setCopies(CommonDialog1->Copies);
        Screen::setMousePointer(11);
        printHeading(12);
        const QStringList row = readCurrentRow(schema::kColumnCount);
        for (const auto& line : ReportLayout::kCurrentRow)
            printPair(line.label, row[schema::index(line.column)]);
        printValuesPage(row[schema::index(schema::Column::SampleNumber)]);
        p.EndDoc();
        form_.vaSpread1->setCol(0);
        Screen::setMousePointer(0);
    } catch (const std::exception& e) {
        reportFailure(e);
    }
}

// The current sample's values beyond the 32 columns, on a page of their
// own; nothing for a sample without any. They are read here, one sample's
// few by its key, as the rest of the report is read from the grid.
void PrintController::printValuesPage(const QString& sample) {
    const View* view = form_.Data1->view();
    const auto database = form_.Data1->database();
    const long row = form_.vaSpread1->Row();
    if (!view->shown() || !database || row < 0 || row >= form_.Data1->Recordset().RecordCount())
        return;
    const std::int64_t id = view->keyAt(row);
    std::vector<engine::SampleValue> values;
    std::vector<ValuesPage::Line> lines;
    try {
        database->readValues(view->table(), "[ID] = " + std::to_string(id),
                             [&](const engine::StoredValue& v) {
                                 values.push_back(v.value);
                                 return true;
                             });
        lines = ValuesPage::lines(sample, id, values);
    } catch (const std::exception& e) {
        // The 32 columns are printed all the same; the page says what is missing.
        lines = {{"The values kept with this sample could not be read: " +
                      QString::fromStdString(e.what()),
                  false}};
    }
    if (lines.empty())
        return;
    Printer& p = Printer::instance();
    p.NewPage();
    for (const auto& line : lines) {
        p.setFontBold(line.bold);
        printWrapped(line.text);
    }
    p.setFontBold(false);
}

// A line wider than the page goes on over as many as it needs, broken
// between words (within a word only when one is wider than the page).
void PrintController::printWrapped(const QString& text) {
    Printer& p = Printer::instance();
    const double width = p.ScaleWidth();
    QString rest = text;
    while (p.TextWidth(rest) > width) {
        int cut = static_cast<int>(rest.size());
        while (cut > 1 && p.TextWidth(rest.left(cut)) > width)
            --cut;
        const int space = static_cast<int>(rest.lastIndexOf(' ', cut));
        if (space > 0)
            cut = space;
        p.Print(rest.left(cut));
        rest = rest.mid(cut).trimmed();
    }
    p.Print(rest);
}

// Every row is printed, so the view's count comes first; the command
// waits for it in a slot, with the window busy.
void PrintController::PrintData() {
    if (!form_.beginCommand())
        return;
    form_.afterCount(
        [this] {
            printEveryRow();
            form_.endCommand();
        },
        [this](const QString& text) {
            MessageBox::Show(text, 48, "Print Error");
            Screen::setMousePointer(0);
            form_.endCommand();
        });
}

void PrintController::printEveryRow() {
    try {
        CommonDialog1->CancelError = true;
        CommonDialog1->Flags = 64;
        CommonDialog1->ShowPrinter();
        Printer& p = Printer::instance();
        Screen::setMousePointer(11);
        printHeading(8);
        // Every row of the view, in grid order, two to a page, each page
        // with its footer.
        const long rows = form_.vaSpread1->RowCount();
        const int total = ReportLayout::pageTotal(rows);
        for (long r = 1; r <= rows; ++r) {
            form_.vaSpread1->setRow(r - 1);
            const QStringList values = readCurrentRow(schema::kColumnCount);
            for (const auto& line : ReportLayout::kSecondLayout)
                printPair(line.label, values[schema::index(line.column)]);
            p.Print("");
            if (r % 2 == 0 || r == rows) {
                const QString footer = ReportLayout::footer(static_cast<int>((r + 1) / 2), total);
                setPrinterFont(p, 8);
                printCentred(footer);
                if (r != rows)
                    p.NewPage();
            }
        }
        p.EndDoc();
        Screen::setMousePointer(0);
    } catch (const std::exception& e) {
        reportFailure(e);
    }
}
