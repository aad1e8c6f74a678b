#include "app/Globals.h"
#include "app/QuarzelDatabase.h"
#include "platform/data/DBGrid.h"
#include "platform/data/DataControl.h"
#include "platform/data/RecordsetModel.h"
#include "platform/dialogs/PrintDialog.h"
#include "platform/printer/Printer.h"
#include "platform/program/ProgramInfo.h"
#include "print/ReportLayout.h"
#include "support/GuiFixture.h"

#include <QFontMetricsF>
#include <QLabel>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

namespace {

// Answers the print dialog as a user would: a PDF file and a copy count,
// a printer that is not there, or Cancel.
class FakePrintDialog : public PrintDialog::Implementation {
public:
    enum class Answer { Pdf, NoPrinter, Cancel };
    bool showPrinter(QPrinter& printer, int flags, int& copies) override {
        shownFlags.push_back(flags);
        if (answer == Answer::Cancel)
            return false;
        if (answer == Answer::NoPrinter) {
            printer.setOutputFormat(QPrinter::NativeFormat);
            printer.setOutputFileName(QString());
            printer.setPrinterName("no-such-printer");
        } else {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(file);
        }
        copies = copiesChosen;
        return true;
    }
    Answer answer = Answer::Pdf;
    QString file;
    int copiesChosen = 1;
    std::vector<int> shownFlags;
};

QString run(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    p.waitForFinished(30000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

QStringList textLines(const QString& pdf) {
    QStringList lines;
    for (const QString& l : run("pdftotext", {"-layout", pdf, "-"}).split('\n'))
        if (!l.trimmed().isEmpty())
            lines << l.trimmed();
    return lines;
}

int pageCount(const QString& pdf) {
    static const QRegularExpression re(R"(Pages:\s+(\d+))");
    return re.match(run("pdfinfo", {pdf})).captured(1).toInt();
}

// Each piece of text with the family name of its font, "Bold" added for bold text.
QList<QPair<QString, QString>> textWithFonts(const QString& pdf) {
    const QString xml = run("pdftohtml", {"-xml", "-stdout", "-i", pdf});
    QMap<QString, QString> families;
    static const QRegularExpression spec(
        R"re(<fontspec id="(\d+)" size="[^"]*" family="([^"]*)")re");
    for (auto it = spec.globalMatch(xml); it.hasNext();) {
        auto m = it.next();
        families[m.captured(1)] = m.captured(2);
    }
    QList<QPair<QString, QString>> out;
    static const QRegularExpression text(R"re(<text [^>]*font="(\d+)"[^>]*>(.*?)</text>)re");
    for (auto it = text.globalMatch(xml); it.hasNext();) {
        auto m = it.next();
        QString t = m.captured(2);
        const bool bold = t.contains("<b>");
        t.remove(QRegularExpression("<[^>]+>"));
        out << qMakePair(t.replace("&amp;", "&").replace("&lt;", "<").replace("&gt;", ">"),
                         families.value(m.captured(1)) + (bold ? " Bold" : ""));
    }
    return out;
}

struct PrintFixture : GuiFixture {
    explicit PrintFixture(long rows) : GuiFixture(rows) {
        dialog.file = data().dir() + "/report.pdf";
        PrintDialog::setImplementation(&dialog);
        ProgramInfo::setClock(QDateTime(QDate(2026, 12, 7), QTime(10, 30, 15)));
        Printer::instance().setCopies(1); // the printer keeps its copy count between commands
    }
    ~PrintFixture() {
        PrintDialog::setImplementation(nullptr);
        ProgramInfo::setClock(QDateTime());
    }
    FakePrintDialog dialog;
};

} // namespace

class TestPrinting : public QObject {
    Q_OBJECT
private slots:
    void currentRowReport() {
        PrintFixture f(30);
        f.data().rawExec("UPDATE DOZIRO1 SET SO3 = 0.77, Trace2 = NULL WHERE ID = "
                         "(SELECT ID FROM DOZIRO1 ORDER BY Rockname LIMIT 1 OFFSET 3)");
        auto& w = f.start();
        w.vaSpread1->setRow(3);
        w.vaSpread1->setCol(9);
        f.pointer.history.clear();
        w.mnuPrint_Click(1);
        QVERIFY(f.messages.shown.empty());
        QCOMPARE(f.dialog.shownFlags, std::vector<int>({1048588}));
        QCOMPARE(f.pointer.history, std::vector<int>({11, 0}));
        QCOMPARE(w.vaSpread1->Col(), 0);
        QCOMPARE(w.vaSpread1->Row(), 3L);

        const QStringList lines = textLines(f.dialog.file);
        QCOMPARE(lines[0], QString("QUARZEL GEOCHEMICAL DATABASE RESULTS"));
        const QLocale locale = QLocale::system();
        QCOMPARE(lines[1], locale.toString(QDate(2026, 12, 7), QLocale::ShortFormat));
        QCOMPARE(lines[2], locale.toString(QTime(10, 30, 15), QLocale::LongFormat));
        // Label and value lines in order; an empty value prints nothing visible.
        QStringList expected;
        auto cell = [&](int c) {
            w.vaSpread1->setCol(c);
            return w.vaSpread1->Text();
        };
        for (const auto& l : ReportLayout::kCurrentRow) {
            expected << l.label;
            if (!cell(l.column).isEmpty())
                expected << cell(l.column);
        }
        QCOMPARE(lines.mid(3), expected);
        QCOMPARE(expected[2], QString("ID"));
        QCOMPARE(expected[3], cell(31));
        QVERIFY(expected.contains("Doziro #"));
        const int so3 = static_cast<int>(expected.indexOf("SO3"));
        QCOMPARE(expected[so3 + 1], QString("0.77"));
        QCOMPARE(expected[expected.indexOf("Trace2") + 1], QString("Trace3")); // empty Trace2

        // Bold labels, regular values, Arial (its metric twin) throughout.
        const auto pieces = textWithFonts(f.dialog.file);
        int bold = 0;
        for (const auto& [text, family] : pieces) {
            QVERIFY2(family.contains("LiberationSans") || family.contains("Arial"),
                     qPrintable(family));
            const bool isLabel = std::any_of(
                std::begin(ReportLayout::kCurrentRow), std::end(ReportLayout::kCurrentRow),
                [&](const ReportLayout::Line& l) { return text.trimmed() == l.label; });
            if (isLabel) {
                QVERIFY2(family.contains("Bold"), qPrintable(text + " " + family));
                ++bold;
            } else {
                QVERIFY2(!family.contains("Bold"), qPrintable(text + " " + family));
            }
        }
        QCOMPARE(bold, 32);
        // 64 lines at 12 pt need a second page; portrait A4.
        QCOMPARE(pageCount(f.dialog.file), 2);
        const QString info = run("pdfinfo", {f.dialog.file});
        QVERIFY2(info.contains("595 x 842 pts (A4)"),
                 qPrintable(info)); // portrait: width before height
    }

    void titleIsCentredAndFollowsTheShownTable() {
        PrintFixture f(20);
        auto& w = f.start();
        w.mnuActive1_Click(1);
        w.mnuPrint_Click(1);
        QCOMPARE(textLines(f.dialog.file)[0], QString("PROJECT1 DATABASE RESULTS"));
        // Centred: left edge at half the page width minus half the title width.
        const QString bbox = run("pdftotext", {"-bbox", f.dialog.file, "-"});
        static const QRegularExpression word(
            R"re(<word xMin="([\d.]+)" yMin="[\d.]+" xMax="([\d.]+)"[^>]*>([^<]*)</word>)re");
        double left = 1e9, right = 0;
        for (auto it = word.globalMatch(bbox); it.hasNext();) {
            auto m = it.next();
            if (QString("PROJECT1 DATABASE RESULTS").split(' ').contains(m.captured(3))) {
                left = std::min(left, m.captured(1).toDouble());
                right = std::max(right, m.captured(2).toDouble());
            }
            if (m.captured(3) == "RESULTS")
                break;
        }
        const double pageWidth = 595.0, mm = 72.0 / 25.4;
        QVERIFY2(std::abs(left - (pageWidth / 2 - (right - left) / 2)) <= mm,
                 qPrintable(QString("%1 %2").arg(left).arg(right)));

        // After a sort the grid shows DOZIRO1: the title says so.
        w.mnuRockname_Click();
        QCOMPARE(ActiveDatabase, QString("Pro1"));
        w.mnuPrint_Click(1);
        QCOMPARE(textLines(f.dialog.file)[0], QString("QUARZEL GEOCHEMICAL DATABASE RESULTS"));
        w.mnuActive1_Click(3);
        w.mnuPrint_Click(1);
        QCOMPARE(textLines(f.dialog.file)[0], QString("PROJECT3 DATABASE RESULTS"));
    }

    void copiesCancelAndFailures() {
        PrintFixture f(20);
        auto& w = f.start();
        f.dialog.copiesChosen = 3;
        w.mnuPrint_Click(1);
        QCOMPARE(pageCount(f.dialog.file), 6);
        QCOMPARE(textLines(f.dialog.file).count("QUARZEL GEOCHEMICAL DATABASE RESULTS"), 3);

        QFile::remove(f.dialog.file);
        f.dialog.answer = FakePrintDialog::Answer::Cancel;
        f.pointer.history.clear();
        w.mnuPrint_Click(1);
        QVERIFY(!QFile::exists(f.dialog.file));
        QVERIFY(f.messages.shown.empty());
        QVERIFY(f.pointer.history.empty());
        w.mnuPrint_Click(2);
        QVERIFY(f.messages.shown.empty());

        f.dialog.answer = FakePrintDialog::Answer::NoPrinter;
        w.mnuPrint_Click(1);
        QCOMPARE(f.messages.shown.size(), size_t(1));
        QCOMPARE(f.messages.shown[0].title, QString("Print Error"));
        QCOMPARE(f.messages.shown[0].style, 48);
        QCOMPARE(f.pointer.history.back(), 0);

        f.dialog.answer = FakePrintDialog::Answer::Pdf;
        f.dialog.file = "/nonexistent-folder/report.pdf";
        w.mnuPrint_Click(1);
        QCOMPARE(f.messages.shown.size(), size_t(2));
        QVERIFY(f.messages.shown[1].text.contains("/nonexistent-folder/report.pdf"));

        // No current row: the grid's own error, as a print error.
        f.dialog.file = f.data().dir() + "/empty.pdf";
        f.data().rawExec("DELETE FROM Project2");
        w.mnuActive1_Click(2);
        w.mnuPrint_Click(1);
        QCOMPARE(f.messages.shown.size(), size_t(3));
        QCOMPARE(f.messages.shown[2].text, QString("No current record."));
        QVERIFY(!QFile::exists(f.dialog.file));
        w.mnuPrint_Click(3); // no such layout: nothing happens
        QCOMPARE(f.messages.shown.size(), size_t(3));
    }

    void secondLayout_data() {
        QTest::addColumn<int>("rows");
        QTest::addColumn<QStringList>("footers");
        QTest::newRow("4 rows") << 4 << QStringList({"Page # 1 of 2", "Page # 2 of 2"});
        QTest::newRow("5 rows") << 5
                                << QStringList({"Page # 1 of 3", "Page # 2 of 3", "Page # 3 of 3"});
        QTest::newRow("7 rows") << 7
                                << QStringList({"Page # 1 of 4", "Page # 2 of 4", "Page # 3 of 4",
                                                "Page # 4 of 4"});
    }
    void secondLayout() {
        QFETCH(int, rows);
        QFETCH(QStringList, footers);
        PrintFixture f(rows);
        auto& w = f.start();
        w.mnuPrint_Click(2);
        QVERIFY(f.messages.shown.empty());
        QCOMPARE(f.dialog.shownFlags, std::vector<int>({64}));
        QCOMPARE(pageCount(f.dialog.file), footers.size());
        QStringList seen;
        int records = 0;
        for (int page = 1; page <= footers.size(); ++page) {
            const QString text = run("pdftotext", {"-layout", "-f", QString::number(page), "-l",
                                                   QString::number(page), f.dialog.file, "-"});
            static const QRegularExpression footer(R"(Page # \d+ of \d+)");
            QStringList onPage;
            for (auto it = footer.globalMatch(text); it.hasNext();)
                onPage << it.next().captured(0);
            QCOMPARE(onPage.size(), 1);
            seen << onPage;
            records += static_cast<int>(text.count(
                QRegularExpression(R"(^ *Rockname *$)", QRegularExpression::MultilineOption)));
        }
        QCOMPARE(seen, footers);
        QCOMPARE(records, rows);
        // Rows in grid order, each with its own ID last.
        const QStringList lines = textLines(f.dialog.file);
        QStringList ids;
        for (int i = 0; i + 1 < lines.size(); ++i)
            if (lines[i] == "ID")
                ids << lines[i + 1];
        QStringList expected;
        for (int r = 0; r < rows; ++r)
            expected << w.vaSpread1->recordsetModel()->cellText(r, 31);
        QCOMPARE(ids, expected);
    }
};

QTEST_MAIN(TestPrinting)
#include "tst_printing.moc"
