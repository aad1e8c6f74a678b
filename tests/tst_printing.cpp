#include "form/Globals.h"
#include "app/QuarzelDatabase.h"
#include "print/PrintController.h"
#include "platform/data/DBGrid.h"
#include "platform/data/DataControl.h"
#include "platform/data/RecordsetModel.h"
#include "platform/db/Database.h"
#include "platform/dialogs/PrintDialog.h"
#include "platform/printer/PrintError.h"
#include "platform/printer/Printer.h"
#include "platform/program/ProgramInfo.h"
#include "support/GuiFixture.h"

#include <QComboBox>
#include <QFontMetricsF>
#include <QLabel>
#include <QPrintDialog>
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
            // A user's earlier choice: the current-row report turns the page
            // back to portrait itself.
            printer.setPageOrientation(flags == 64 ? QPageLayout::Portrait
                                                   : QPageLayout::Landscape);
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

// The labels of the two layouts, in print order.
const QStringList kRowLabels = {
    "Rockname", "ID",    "Geologist", "Date",   "Location", "Doziro #", "SiO2",   "TiO2",
    "Al2O3",    "Fe2O3", "FeO",       "MnO",    "MgO",      "CaO",      "Na2O",   "K2O",
    "P2O5",     "H2O+",  "H2O-",      "CO2",    "Cl",       "F",        "S",      "SO3",
    "Cr2O3",    "ZrO2",  "Total",     "Trace1", "Trace2",   "Trace3",   "Trace4", "Trace5"};
const QStringList kSecondLabels = {"Rockname", "Geologist", "Date",  "Location", "Doziro #",
                                   "SiO2",     "TiO2",      "Al2O3", "Fe2O3",    "FeO",
                                   "MnO",      "MgO",       "CaO",   "Na2O",     "K2O",
                                   "P2O5",     "H2O+",      "H2O-",  "ID"};

// Words of one page with their boxes, in points from the page's top left.
struct Word {
    QString text;
    double left, top, right, bottom;
};
QList<Word> words(const QString& pdf, int page) {
    const QString bbox = run(
        "pdftotext", {"-bbox", "-f", QString::number(page), "-l", QString::number(page), pdf, "-"});
    static const QRegularExpression word(
        R"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re");
    QList<Word> out;
    for (auto it = word.globalMatch(bbox); it.hasNext();) {
        auto m = it.next();
        out << Word{m.captured(5), m.captured(1).toDouble(), m.captured(2).toDouble(),
                    m.captured(3).toDouble(), m.captured(4).toDouble()};
    }
    return out;
}
Word firstWord(const QList<Word>& page, const QString& text) {
    for (const Word& w : page)
        if (w.text == text)
            return w;
    return {};
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
        // One row whose every column holds a value of its own (Trace2 Null);
        // its rock name sorts it first.
        QString set = "Rockname = 'AAA Testite', Geologist = 'G. Tester', Date = '1999-01-02', "
                      "Location = 'Test Hill', [Doziro Sample#] = 'DZ-TEST'";
        for (int i = 6; i < kRowLabels.size(); ++i)
            set += QString(", [%1] = %2")
                       .arg(kRowLabels[i])
                       .arg(kRowLabels[i] == "Trace2" ? QString("NULL")
                                                      : QString::number(10 + i + i / 100.0));
        f.data().rawExec(("UPDATE DOZIRO1 SET " + set +
                          " WHERE ID = (SELECT ID FROM DOZIRO1 ORDER BY Rockname LIMIT 1 "
                          "OFFSET 3)")
                             .toStdString());
        auto& w = f.start();
        w.vaSpread1->setRow(0);
        w.vaSpread1->setCol(9);
        f.pointer.history.clear();
        trigger(w, "mnuPrint", 1);
        QVERIFY(f.messages.shown.empty());
        QCOMPARE(f.dialog.shownFlags, std::vector<int>({1048588}));
        QCOMPARE(f.pointer.history, std::vector<int>({11, 0}));
        QCOMPARE(w.vaSpread1->Col(), 0);
        QCOMPARE(w.vaSpread1->Row(), 0L);

        const QStringList lines = textLines(f.dialog.file);
        QCOMPARE(lines[0], QString("QUARZEL GEOCHEMICAL DATABASE RESULTS"));
        const QLocale locale = QLocale::system();
        QCOMPARE(lines[1], locale.toString(QDate(2026, 12, 7), QLocale::ShortFormat));
        QCOMPARE(lines[2], locale.toString(QTime(10, 30, 15), QLocale::LongFormat));
        // Label and value lines in order, against the values written into
        // the row (each column its own value) and the grid's "#0.00".
        QStringList expected;
        for (int i = 0; i < kRowLabels.size(); ++i) {
            expected << kRowLabels[i];
            if (kRowLabels[i] == "ID") // the layout gives ID the "#0.00" format too
                expected << QString::number(f.data().rawCount("SELECT ID FROM DOZIRO1 WHERE "
                                                              "Rockname = 'AAA Testite'"),
                                            'f', 2);
            else if (i < 6)
                expected << QStringList{"AAA Testite", "",          "G. Tester",
                                        "1999-01-02",  "Test Hill", "DZ-TEST"}[i];
            else if (kRowLabels[i] != "Trace2")
                expected << QString::number(10 + i + i / 100.0, 'f', 2);
        }
        QCOMPARE(lines.mid(3), expected);
        // Bold labels, regular values, Arial (its metric twin) throughout.
        const auto pieces = textWithFonts(f.dialog.file);
        int bold = 0;
        for (const auto& [text, family] : pieces) {
            QVERIFY2(family.contains("LiberationSans") || family.contains("Arial"),
                     qPrintable(family));
            const bool isLabel = kRowLabels.contains(text.trimmed());
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
        // The title at 18 pt against the body's 12 pt, one two-hundredth of
        // the printable height below the top margin of 10 mm.
        const QList<Word> page = words(f.dialog.file, 1);
        const Word title = firstWord(page, "QUARZEL"), label = firstWord(page, "Geologist");
        const double ratio = (title.bottom - title.top) / (label.bottom - label.top);
        QVERIFY2(ratio > 1.45 && ratio < 1.55, qPrintable(QString::number(ratio)));
        const double mm = 72.0 / 25.4, top = 10 * mm + (842 - 20 * mm) / 200;
        QVERIFY2(qAbs(title.top - top) < 3, qPrintable(QString::number(title.top)));
    }

    // What the sample keeps beyond the 32 columns follows on a page of its
    // own: places first, facts in words, values as reported with their
    // qualifier, uncertainty and method, references numbered as first cited
    // and broken to the page's width. The report before it is unchanged.
    void valuesPageFollowsTheReport() {
        PrintFixture f(30);
        const long id = f.data().rawCount("SELECT ID FROM DOZIRO1 ORDER BY Rockname LIMIT 1");
        const std::string journal =
            "Tester, G. and Second, A. (2001) Lavas of the long test road and their many "
            "minerals, with notes on the old quarry. Journal of Test Petrology 42, 1-20.";
        {
            auto db = f.data().open();
            auto v = [](const char* a, std::optional<double> x, const char* unit = "",
                        std::string ref = "", char q = 0, const char* method = "",
                        std::optional<double> err = std::nullopt, const char* text = "") {
                return engine::SampleValue{a, unit, method, q, x, text, err, ref};
            };
            db->Begin();
            db->addValues("DOZIRO1", id,
                          {v("La", 12.3, "ppm", journal, 0, "ICP-MS"),
                           v("Material", std::nullopt, "", "", 0, "", std::nullopt, "whole rock"),
                           v("Eu", 0.05, "ppm", "", '<', "ICP-MS"),
                           v("Latitude", 45.5), v("87Sr/86Sr", 0.70345, "", "Other, B. (1999)", 0,
                                                  "TIMS", 0.00002),
                           v("Longitude", -122.25, "", journal)});
            db->Commit();
        }
        auto& w = f.start();
        w.vaSpread1->setRow(0);
        trigger(w, "mnuPrint", 1);
        QVERIFY(f.messages.shown.empty());
        QCOMPARE(pageCount(f.dialog.file), 3);
        const QString page3 = run("pdftotext", {"-f", "3", "-l", "3", f.dialog.file, "-"});
        QStringList lines;
        for (const QString& l : page3.split('\n'))
            if (!l.trimmed().isEmpty())
                lines << l.trimmed();
        const QString sample = textLines(f.dialog.file)[3 + 2 * 5 + 1]; // under "Doziro #"
        const QStringList head = {
            QString("Values kept with sample %1 (ID %2)").arg(sample).arg(id),
            "Where it was taken",
            "Latitude: 45.5",
            "Longitude: -122.25 [1]",
            "About the sample",
            "Material: whole rock",
            "Values as reported",
            "La: 12.3 ppm, ICP-MS [1]",
            "Eu: <0.05 ppm, ICP-MS",
            QString::fromUtf8("87Sr/86Sr: 0.70345 \u00b1 0.00002, TIMS [2]"),
            "References"};
        QCOMPARE(lines.mid(0, head.size()), head);
        const QStringList refs = lines.mid(head.size());
        QVERIFY2(refs.size() >= 3, qPrintable(refs.join('|'))); // the long one broken in two
        QCOMPARE(refs.mid(0, refs.size() - 1).join(' '), "[1] " + QString::fromStdString(journal));
        QCOMPARE(refs.last(), QString("[2] Other, B. (1999)"));
        for (const Word& word : words(f.dialog.file, 3))
            QVERIFY2(word.right < 595 - 27, qPrintable(word.text)); // inside the 10 mm margin
        // A sample without values: the two pages as before.
        w.vaSpread1->setRow(1);
        trigger(w, "mnuPrint", 1);
        QCOMPARE(pageCount(f.dialog.file), 2);
    }

    void printDialogOffersOnlyWhatTheReportFollows() {
        PrintDialog::setImplementation(nullptr); // the real dialog
        PrintDialog dialog;
        dialog.CancelError = true;
        QStringList seen;
        auto answer = [&] {
            QWidget* shown = QApplication::activeModalWidget();
            QVERIFY(shown);
            seen << shown->metaObject()->className();
            auto hidden = [&](const char* name) {
                QWidget* w = shown->findChild<QWidget*>(name);
                return !w || w->isHidden();
            };
            if (auto* print = qobject_cast<QPrintDialog*>(shown)) {
                // Shown again by the dialog itself (another printer chosen).
                for (const char* name : {"gbPrintRange", "collate"})
                    shown->findChild<QWidget*>(name)->show();
                QCoreApplication::processEvents();
                QVERIFY(hidden("gbPrintRange")); // flag 8: no page numbers
                QVERIFY(hidden("collate"));
                QVERIFY(hidden("reverse"));
                QVERIFY(!hidden("copies"));
                auto* printers = shown->findChild<QComboBox*>("printers");
                QVERIFY(printers && printers->findText("Print to File (PDF)") >= 0);
                print->reject();
            } else {
                shown->close();
            }
        };
        dialog.Flags = 1048588;
        QTimer::singleShot(300, answer);
        int number = 0;
        try {
            dialog.ShowPrinter();
        } catch (const PrintError& e) {
            number = e.number();
        }
        QCOMPARE(number, 32755);
        // Flags 64: the print set-up dialog.
        dialog.Flags = 64;
        QTimer::singleShot(300, answer);
        QVERIFY_THROWS_EXCEPTION(PrintError, dialog.ShowPrinter());
        QCOMPARE(seen, QStringList({"QPrintDialog", "QPageSetupDialog"}));
    }

    void titleIsCentredAndFollowsTheShownTable() {
        PrintFixture f(20);
        auto& w = f.start();
        trigger(w, "mnuActive1", 1);
        trigger(w, "mnuPrint", 1);
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
        trigger(w, "mnuRockname");
        QCOMPARE(ActiveDatabase, QString("Pro1"));
        trigger(w, "mnuPrint", 1);
        QCOMPARE(textLines(f.dialog.file)[0], QString("QUARZEL GEOCHEMICAL DATABASE RESULTS"));
        trigger(w, "mnuActive1", 3);
        trigger(w, "mnuPrint", 1);
        QCOMPARE(textLines(f.dialog.file)[0], QString("PROJECT3 DATABASE RESULTS"));
    }

    void copiesCancelAndFailures() {
        PrintFixture f(20);
        auto& w = f.start();
        f.dialog.copiesChosen = 3;
        trigger(w, "mnuPrint", 1);
        QCOMPARE(pageCount(f.dialog.file), 6);
        QCOMPARE(textLines(f.dialog.file).count("QUARZEL GEOCHEMICAL DATABASE RESULTS"), 3);

        QFile::remove(f.dialog.file);
        f.dialog.answer = FakePrintDialog::Answer::Cancel;
        f.pointer.history.clear();
        trigger(w, "mnuPrint", 1);
        QVERIFY(!QFile::exists(f.dialog.file));
        QVERIFY(f.messages.shown.empty());
        QVERIFY(f.pointer.history.empty());
        w.printing().mnuPrint_Click(2);
        QVERIFY(f.messages.shown.empty());

        f.dialog.answer = FakePrintDialog::Answer::NoPrinter;
        trigger(w, "mnuPrint", 1);
        QCOMPARE(f.messages.shown.size(), size_t(1));
        QCOMPARE(f.messages.shown[0].title, QString("Print Error"));
        QCOMPARE(f.messages.shown[0].style, 48);
        QCOMPARE(f.pointer.history.back(), 0);

        f.dialog.answer = FakePrintDialog::Answer::Pdf;
        f.dialog.file = "/nonexistent-folder/report.pdf";
        trigger(w, "mnuPrint", 1);
        QCOMPARE(f.messages.shown.size(), size_t(2));
        QVERIFY(f.messages.shown[1].text.contains("/nonexistent-folder/report.pdf"));

        // No current row: the grid's own error, as a print error.
        f.dialog.file = f.data().dir() + "/empty.pdf";
        f.data().rawExec("DELETE FROM Project2");
        trigger(w, "mnuActive1", 2);
        trigger(w, "mnuPrint", 1);
        QCOMPARE(f.messages.shown.size(), size_t(3));
        QCOMPARE(f.messages.shown[2].text, QString("No current record."));
        QVERIFY(!QFile::exists(f.dialog.file));
        w.printing().mnuPrint_Click(3); // no such layout: nothing happens
        QCOMPARE(f.messages.shown.size(), size_t(3));
    }

    void secondLayout_data() {
        QTest::addColumn<int>("rows");
        QTest::addColumn<QStringList>("footers");
        QTest::newRow("1 row") << 1 << QStringList({"Page # 1 of 1"});
        QTest::newRow("2 rows") << 2 << QStringList({"Page # 1 of 1"});
        QTest::newRow("3 rows") << 3 << QStringList({"Page # 1 of 2", "Page # 2 of 2"});
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
        f.data().rawExec("UPDATE DOZIRO1 SET Date = 'D-' || ID, Location = 'L-' || ID, "
                         "Geologist = 'G-' || ID");
        auto& w = f.start();
        w.printing().mnuPrint_Click(2);
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
        // The 19 labels of each row in their order, after the title, the
        // date, the time and an empty line.
        const QStringList lines = textLines(f.dialog.file);
        QStringList labels;
        for (const QString& l : lines)
            if (kRowLabels.contains(l))
                labels << l;
        QStringList expectedLabels;
        for (int r = 0; r < rows; ++r)
            expectedLabels += kSecondLabels;
        QCOMPARE(labels, expectedLabels);
        // Each label followed by its own column's value.
        for (int i = 0; i + 1 < lines.size(); ++i) {
            for (const char* label : {"Geologist", "Date", "Location"})
                if (lines[i] == label)
                    QVERIFY2(lines[i + 1].startsWith(QString(label).left(1) + "-"),
                             qPrintable(lines[i] + ": " + lines[i + 1]));
        }
        // The title on the first page only, at 18 pt against the body's 8 pt;
        // each footer centred across the page.
        QCOMPARE(lines.count("QUARZEL GEOCHEMICAL DATABASE RESULTS"), 1);
        const QList<Word> first = words(f.dialog.file, 1);
        const Word title = firstWord(first, "QUARZEL"), label = firstWord(first, "Geologist");
        const double ratio = (title.bottom - title.top) / (label.bottom - label.top);
        QVERIFY2(ratio > 2.15 && ratio < 2.35, qPrintable(QString::number(ratio)));
        for (int page = 1; page <= footers.size(); ++page) {
            const QList<Word> ws = words(f.dialog.file, page);
            const Word hash = firstWord(ws, "Page");
            Word last;
            for (const Word& w2 : ws)
                if (qAbs(w2.top - hash.top) < 0.5)
                    last = w2;
            const double centre = (hash.left + last.right) / 2;
            QVERIFY2(qAbs(centre - 595.0 / 2) < 72.0 / 25.4, qPrintable(QString::number(centre)));
        }
        // Rows in grid order, each with its own ID last.
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
