// Import and export as the window runs them: the question that fits the
// screen however many columns, the table named as the menu names it, a bad
// row left out, the progress dialog on its window, and a close during the
// work that cancels it.
#include "app/ColumnChooser.h"
#include "app/ImportPreview.h"
#include "app/QuarzelDatabase.h"
#include "app/ToolsController.h"
#include "app/ValueQueryDialog.h"
#include "exchange/CsvImport.h"
#include "platform/data/DBGrid.h"
#include "platform/data/DataControl.h"
#include "platform/data/RecordsetModel.h"
#include "platform/db/EngineError.h"
#include "platform/dialogs/BackgroundTask.h"
#include "platform/dialogs/FileDialogs.h"
#include "platform/dialogs/MessageBox.h"
#include "platform/view/DataRecordset.h"
#include "platform/view/View.h"
#include "support/GuiFixture.h"

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTableWidget>
#include <QThread>
#include <QTimer>
#include <QtTest>

#include <xlsxwriter.h>

#include <algorithm>

namespace {

long long count(TestData& d, const char* table) {
    return d.rawCount(std::string("SELECT count(*) FROM ") + table);
}

QProgressDialog* progressDialog() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* p = qobject_cast<QProgressDialog*>(w); p && p->isVisible())
            return p;
    return nullptr;
}

// Chooses every column offered but the one named, and keeps what it was offered.
struct AllBut : ColumnChooser::Implementation {
    std::string left;
    ColumnChooser::Choices offered;
    std::optional<ColumnChooser::Choices> choose(const ColumnChooser::Choices& all,
                                                 const ColumnChooser::Choices&) override {
        offered = all;
        ColumnChooser::Choices out;
        for (const auto& c : all)
            if (c.analyte != left)
                out.push_back(c);
        return out;
    }
};

// Answers Find by Value and Sort by Value as told, and keeps what it was offered.
struct ValueAnswer : ValueQueryDialog::Implementation {
    ValueQueryDialog::Answer answer;
    std::vector<ValueColumns::Choice> offered;
    std::optional<ValueQueryDialog::Answer>
    ask(ValueQueryDialog::Kind, const std::vector<ValueColumns::Choice>& all) override {
        offered = all;
        return answer;
    }
};

} // namespace

class TestExchangeUi : public QObject {
    Q_OBJECT
private slots:
    void importQuestionNamesTheTableAndLeavesBadRowsOut() {
        GuiFixture f(50);
        auto& w = f.start();
        QTemporaryDir dir;
        const long long before = count(f.data(), "DOZIRO1");
        const QString file = write(dir, "lab.csv",
                                   "SAMPLE ID,SIO2(WT%),NA2O(WT%)\n"
                                   "A-1,49.5,2.5\nA-2,fifty,2.6\nA-3,51,n.d.\n");
        QVERIFY(importFile(w, file));
        QCOMPARE(f.messages.asked.size(), size_t(1));
        const QString& asked = f.messages.asked[0];
        QVERIFY2(asked.contains("line 3: SiO2 'fifty' is not a number"), qPrintable(asked));
        QVERIFY2(asked.endsWith("Import the 2 good rows into Geochem, leaving out the bad ones?"),
                 qPrintable(asked));
        QCOMPARE(count(f.data(), "DOZIRO1"), before + 2);
        QCOMPARE(f.data().rawCount("SELECT count(*) FROM DOZIRO1 WHERE [Doziro Sample#] = 'A-2'"),
                 0LL);
        QCOMPARE(f.data().rawCount("SELECT count(*) FROM DOZIRO1 WHERE [Doziro Sample#] = 'A-3' "
                                   "AND SiO2 = 51 AND Na2O IS NULL"),
                 1LL);
        // The same file again: the preview names the samples there already,
        // which are left out unless the user says otherwise.
        QVERIFY(importFile(w, file));
        QVERIFY2(f.messages.asked[1].contains("Samples the table holds already (the same "
                                              "identifier, or the same name and values): 2, such "
                                              "as 'A-1' 'A-3'"),
                 qPrintable(f.messages.asked[1]));
        QCOMPARE(count(f.data(), "DOZIRO1"), before + 2);
        QVERIFY(
            f.messages.shown.back().text.contains("2 samples the table held already, left out"));
    }

    void valuesKeptBesideAreShownAfterTheColumns() {
        QTemporaryDir config; // the user's settings, of this test alone
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
        GuiFixture f(20);
        auto& w = f.start();
        QTemporaryDir dir;
        QVERIFY(importFile(w, write(dir, "v.csv",
                                    "SAMPLE ID,SIO2(WT%),LA(PPB),CE(PPM),MATERIAL\n"
                                    "V-1,50,12500,<0.5,glass\n")));
        AllBut chooser;
        chooser.left = "SiO2";
        ColumnChooser::setImplementation(&chooser);
        trigger(w, "mnuColumns");
        RecordsetModel* model = w.vaSpread1->recordsetModel();
        QTRY_COMPARE(model->columnCount(), 35);
        QCOMPARE(chooser.offered.size(), 4u);
        QCOMPARE(model->headerData(32, Qt::Horizontal).toString(), QString("Ce (ppm)"));
        QCOMPARE(model->headerData(33, Qt::Horizontal).toString(), QString("La (ppm)"));
        QCOMPARE(model->headerData(34, Qt::Horizontal).toString(), QString("Material"));
        QCOMPARE(w.vaSpread1->ColumnCount(), 32); // the grid's own columns stay as they are
        int row = 0;
        while (row < model->rowCount() && model->cellText(row, 4) != "V-1")
            ++row;
        QVERIFY(row < model->rowCount());
        // 12,500 ppb is 12.5 ppm; below detection keeps its sign; a fact its words.
        QTRY_COMPARE(model->cellText(row, 33), QString("12.5"));
        QCOMPARE(model->cellText(row, 32), QString("<0.5"));
        QCOMPARE(model->cellText(row, 34), QString("glass"));
        QVERIFY(!(model->flags(model->index(row, 33)) & Qt::ItemIsEditable));
        // Found and sorted by such a column as by the grid's own; the
        // columns shown are offered first.
        ValueAnswer values;
        ValueQueryDialog::setImplementation(&values);
        values.answer.column = {"La", "ppm"};
        values.answer.from = 12.5;
        trigger(w, "mnuFindValue");
        QTRY_COMPARE(w.Label3->text(), QString("1 Matches"));
        QCOMPARE(values.offered.front().analyte, std::string("Ce"));
        QCOMPARE(model->cellText(0, 4), QString("V-1"));
        values.answer.from = 12.6;
        trigger(w, "mnuFindValue");
        QTRY_COMPARE(f.messages.shown.back().title, QString("No Matches"));
        QTRY_VERIFY(w.Label3->text().endsWith(" Records"));
        values.answer = {{"Material", ""}, {}, {}, "GLA*", false};
        trigger(w, "mnuFindValue");
        QTRY_COMPARE(w.Label3->text(), QString("1 Matches"));
        values.answer = {{"La", "ppm"}, {}, {}, {}, true};
        trigger(w, "mnuSortValue");
        QTRY_VERIFY(w.Label3->text().endsWith(" Records"));
        QTRY_COMPARE(model->cellText(0, 4), QString("V-1"));
        ValueQueryDialog::setImplementation(nullptr);
        // The dialog stays open until what was typed can be used.
        ValueQueryDialog ask(ValueQueryDialog::Kind::Find, values.offered);
        auto* from = ask.findChild<QLineEdit*>("from");
        auto* to = ask.findChild<QLineEdit*>("to");
        auto* words = ask.findChild<QLineEdit*>("words");
        ask.show();
        const std::pair<QString, QString> wrong[] = {
            {"", "Enter a number to find from or to, or words to find."},
            {"1e", "'1e' is not a number."},
            {"5 9 x", "Find by numbers or by words, not by both."},
            {"9 5", "The value to find from is above the value to find to."}};
        for (const auto& [typed, said] : wrong) {
            const QStringList parts = typed.split(' ');
            from->setText(parts.value(0));
            to->setText(parts.value(1));
            words->setText(parts.value(2));
            ask.accept();
            QCOMPARE(f.messages.shown.back().text, said);
            QVERIFY(ask.isVisible());
        }
        from->setText("0.5");
        words->clear();
        ask.accept();
        QVERIFY(!ask.isVisible() && ask.answer().from == 0.5 && ask.answer().to == 5);
        // Export View writes them after the view's columns.
        const QString csv = dir.filePath("view.csv");
        QVERIFY(exportTo(w, csv));
        QFile out(csv);
        QVERIFY(out.open(QIODevice::ReadOnly));
        const QString written = QString::fromUtf8(out.readAll());
        QVERIFY2(written.section('\n', 0, 0).trimmed().endsWith(",ID,Ce (ppm),La (ppm),Material"),
                 qPrintable(written.section('\n', 0, 0)));
        QVERIFY2(written.contains(QRegularExpression("V-1,50,.*,<0.5,12.5,glass\r?\n")),
                 qPrintable(written));
        // The table keeps its choice for the next start.
        f.stop();
        auto& again = f.start();
        QTRY_COMPARE(again.vaSpread1->recordsetModel()->columnCount(), 35);
        ColumnChooser::setImplementation(nullptr);
    }

    // The file holds the rows as the window shows them, in its order: an
    // edit of the order's column, another user's rename and another user's
    // new row would each place rows elsewhere in a new reading, and change
    // nothing of it; the values are those stored now.
    void exportWritesTheRowsInTheOrderShown() {
        GuiFixture f(30);
        auto& w = f.start();
        trigger(w, "mnuEdit2", 0);
        View* view = w.Data1->view();
        QTRY_VERIFY(view->keysComplete());
        const auto& names = view->fieldNames();
        const int rockname =
            static_cast<int>(std::find(names.begin(), names.end(), "Rockname") - names.begin());
        QCOMPARE(names.back(), std::string("ID"));
        RecordsetModel* model = w.vaSpread1->recordsetModel();
        const std::int64_t edited = view->keyAt(0);
        QVERIFY(model->setData(model->index(0, rockname), "zzz edited"));
        QVERIFY(model->submit());
        const long rows = view->knownRowCount();
        const std::int64_t renamed = view->keyAt(rows - 1);
        f.data().rawExec("UPDATE DOZIRO1 SET Rockname = 'aaa renamed' WHERE ID = " +
                         std::to_string(renamed));
        f.data().rawExec("INSERT INTO DOZIRO1(Rockname) VALUES ('aaa new')");
        QStringList shown;
        for (long r = 0; r < view->knownRowCount(); ++r)
            shown << QString::number(view->keyAt(r));
        QCOMPARE(shown.size(), 30);
        QCOMPARE(shown.front(), QString::number(edited)); // where the edit was made
        QTemporaryDir dir;
        const QString csv = dir.filePath("view.csv");
        QVERIFY(exportTo(w, csv));
        QFile out(csv);
        QVERIFY(out.open(QIODevice::ReadOnly));
        QStringList lines = QString::fromUtf8(out.readAll()).split("\r\n", Qt::SkipEmptyParts);
        lines.removeFirst(); // the header
        QStringList written;
        for (const QString& line : lines)
            written << line.section(',', -1); // the ID, the last column
        QCOMPARE(written, shown);
        QVERIFY2(lines.front().startsWith("zzz edited,"), qPrintable(lines.front()));
        QVERIFY2(lines.back().startsWith("aaa renamed,"), qPrintable(lines.back()));
        QVERIFY(!lines.join('\n').contains("aaa new"));
    }

    void aLongQuestionFitsTheScreen() {
        // A compilation of 150 columns: every mapping listed, in a box that
        // scrolls; the question and its buttons on the screen.
        QByteArray header = "SAMPLE ID,SIO2(WT%)";
        for (int i = 0; i < 148; ++i)
            header += ",EXTRA" + QByteArray::number(i);
        QByteArray rows = header + "\n";
        rows += "B-1,50" + QByteArray(148, ',') + "\n";
        GuiFixture f(20);
        auto& w = f.start();
        QTemporaryDir dir;
        f.messages.answer = false;
        QVERIFY(!importFile(w, write(dir, "wide.csv", rows)));
        const QString asked = f.messages.asked.at(0);
        QVERIFY(asked.contains("EXTRA147 -> kept as the fact Extra147"));
        auto dialog = MessageBox::questionDialog(asked, "Import CSV", "Import", "Cancel", &w);
        dialog->show();
        const QRect screen = w.screen()->availableGeometry();
        QVERIFY2(dialog->frameGeometry().height() <= screen.height(),
                 qPrintable(QString::number(dialog->frameGeometry().height())));
        QVERIFY(dialog->width() <= screen.width());
        auto* details = dialog->findChild<QPlainTextEdit*>("details");
        QVERIFY(details && details->toPlainText().contains("EXTRA147 -> kept as the fact"));
        QVERIFY(!details->toPlainText().contains("Import the"));
        auto* buttons = dialog->findChild<QDialogButtonBox*>();
        QVERIFY(buttons && buttons->isVisible());
        QVERIFY(dialog->rect().contains(buttons->geometry()));
        bool questionShown = false;
        for (QLabel* l : dialog->findChildren<QLabel*>())
            questionShown |= l->text() == "Import the 1 rows into Geochem?";
        QVERIFY(questionShown);
    }

    void theUserChoosesAnotherColumnInThePreview() {
        GuiFixture f(20);
        auto& w = f.start();
        QTemporaryDir dir;
        const QString file =
            write(dir, "georoc.csv",
                  "LOCATION,LOCATION COMMENT,ROCK NAME,ROCK TYPE,SIO2(WT%),CR(PPM)\n"
                  "HAWAII,SUMMIT,THOLEIITE,VOLCANIC ROCK,51.2,410\n");
        // The dialog itself: units, conversions and the choice made; a
        // changed mapping must be read again before it can be imported.
        const ImportPlan plan = CsvImport::plan(file.toStdString());
        ImportPreview dialog(plan, "Import the 1 rows into Geochem?", &w);
        auto* table = dialog.findChild<QTableWidget*>("columns");
        QVERIFY(table && table->rowCount() == 6);
        QCOMPARE(table->item(5, 1)->text(), QString("ppm"));
        QVERIFY(table->item(5, 3)->text().contains("x 0.00014616"));
        QVERIFY(table->item(3, 3)->text().contains("'ROCK NAME' gives Rockname"));
        QVERIFY(dialog.findChild<QLabel*>("file")->text().contains("decimal mark: point"));
        auto* into = qobject_cast<QComboBox*>(table->cellWidget(3, 2));
        QCOMPARE(into->currentText(), QString("(kept as reported only)"));
        auto* buttons = dialog.findChild<QDialogButtonBox*>();
        auto button = [&](const QString& name) {
            for (QAbstractButton* b : buttons->buttons())
                if (b->text() == name)
                    return b;
            return static_cast<QAbstractButton*>(nullptr);
        };
        QVERIFY(button("Import")->isEnabled() && !button("Read Again")->isEnabled());
        into->setCurrentIndex(into->findText("Rockname"));
        QVERIFY(!button("Import")->isEnabled() && button("Read Again")->isEnabled());

        // Through the window: ROCK TYPE, not ROCK NAME, into Rockname.
        f.preview.remap = [](const ImportPlan&, std::vector<int>& mapping) {
            mapping[2] = -1;
            mapping[3] = 0;
            return true;
        };
        QVERIFY(importFile(w, file));
        QCOMPARE(f.messages.asked.size(), size_t(1));
        const QString asked = f.messages.asked[0];
        QVERIFY2(asked.contains("ROCK TYPE -> Rockname") &&
                     asked.contains("ROCK NAME -> left out by choice"),
                 qPrintable(asked));
        QCOMPARE(f.data().rawCount("SELECT count(*) FROM DOZIRO1 WHERE Rockname = 'VOLCANIC "
                                   "ROCK' AND Location = 'HAWAII' AND SiO2 = 51.2"),
                 1LL);
    }

    void aWorkbookOfSeveralSheetsAsksWhichOne() {
        GuiFixture f(20);
        auto& w = f.start();
        QTemporaryDir dir;
        const QString xlsx = dir.filePath("two.xlsx");
        lxw_workbook* book = workbook_new(xlsx.toUtf8().constData());
        for (const char* name : {"2019", "2020"}) {
            lxw_worksheet* sheet = workbook_add_worksheet(book, name);
            worksheet_write_string(sheet, 0, 0, "Rockname", nullptr);
            worksheet_write_string(sheet, 0, 1, "SiO2", nullptr);
            worksheet_write_string(sheet, 1, 0, name, nullptr);
            worksheet_write_number(sheet, 1, 1, 50.5, nullptr);
        }
        QCOMPARE(workbook_close(book), LXW_NO_ERROR);
        QVERIFY(!importFile(w, xlsx)); // no sheet chosen: nothing done
        QCOMPARE(f.preview.sheetsOffered, QStringList({"2019", "2020"}));
        QVERIFY(f.messages.shown.empty());
        f.preview.sheet = "2020";
        QVERIFY(importFile(w, xlsx));
        QCOMPARE(f.data().rawCount("SELECT count(*) FROM DOZIRO1 WHERE Rockname = '2020' AND "
                                   "SiO2 = 50.5"),
                 1LL);
        QCOMPARE(f.data().rawCount("SELECT count(*) FROM DOZIRO1 WHERE Rockname = '2019'"), 0LL);
        QVERIFY(f.messages.asked.back().contains("its sheet '2020'"));
    }

    void longWorkShowsItsProgressOnItsWindow() {
        GuiFixture f(20);
        auto& w = f.start();
        w.show();
        // Work that runs until it is cancelled: after a second, the progress
        // dialog over its window with its title whole; Cancel stops it.
        QString title;
        bool overWindow = false, wideEnough = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            QProgressDialog* p = progressDialog();
            if (!p)
                return;
            poll.stop();
            title = p->windowTitle();
            overWindow =
                p->parentWidget() == &w && w.frameGeometry().contains(p->frameGeometry().center());
            wideEnough = p->width() > p->fontMetrics().horizontalAdvance(title) + 100;
            p->findChild<QPushButton*>()->click(); // as the user would
        });
        poll.start(50);
        bool stopped = false;
        auto* task = BackgroundTask::start(
            &w, "Export View", "Exporting to all.xlsx...", [&](BackgroundTask::Control& c) {
                c.total = 100;
                for (int i = 0; i < 600 && !c.cancel; ++i) {
                    c.done = i % 100;
                    QThread::msleep(50);
                }
                stopped = c.cancel;
                if (stopped)
                    throw CsvError(CsvError::Code::Cancelled, "Stopped.");
            });
        QSignalSpy finished(task, &BackgroundTask::finished);
        // From its first moment the window takes no command.
        QVERIFY(!w.menuBar()->isEnabled() && !w.centralWidget()->isEnabled());
        QVERIFY(finished.wait(40000));
        // The failure comes back with its code, to be told by.
        QCOMPARE(finished.first().first().toBool(), false);
        const auto stop = finished.first().at(1).value<BackgroundTask::Error>();
        QCOMPARE(stop.kind, BackgroundTask::Error::Kind::File);
        QCOMPARE(stop.code, static_cast<int>(CsvError::Code::Cancelled));
        QCOMPARE(stop.text, QString("Stopped."));
        QVERIFY(w.menuBar()->isEnabled() && w.centralWidget()->isEnabled());
        QVERIFY(stopped);
        QCOMPARE(title, QString("Export View"));
        QVERIFY(overWindow);
        QVERIFY(wideEnough);

        // The engine's error keeps its number.
        auto* locked = BackgroundTask::start(&w, "Import CSV", "Importing...", [](auto&) {
            throw engine::EngineError(engine::err::Locked, "Locked.");
        });
        QSignalSpy refused(locked, &BackgroundTask::finished);
        QVERIFY(refused.wait(10000));
        const auto why = refused.first().at(1).value<BackgroundTask::Error>();
        QCOMPARE(why.kind, BackgroundTask::Error::Kind::Engine);
        QCOMPARE(why.code, engine::err::Locked);
    }

    void closingTheWindowCancelsItsWork() {
        GuiFixture f(20000);
        auto& w = f.start();
        w.show();
        QTemporaryDir dir;
        // Closed as an export starts: cancelled, nothing written, and the
        // program ends.
        const int ends = GuiFixture::endCount;
        QTimer::singleShot(0, &w, [&] { w.close(); });
        QVERIFY(!exportTo(w, dir.filePath("all.csv")));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList());
        QCOMPARE(GuiFixture::endCount, ends + 1);

        // Closed as an import starts writing: the table as it was.
        QByteArray big = "SAMPLE ID,SIO2(WT%)\n";
        for (int i = 0; i < 50000; ++i)
            big += "C-" + QByteArray::number(i) + ",50.5\n";
        const QString file = write(dir, "big.csv", big);
        const long long before = count(f.data(), "DOZIRO1");
        w.show();
        f.messages.onAsk = [&] { QTimer::singleShot(0, &w, [&] { w.close(); }); };
        QVERIFY(!importFile(w, file));
        QCOMPARE(f.messages.asked.size(), size_t(1));
        QCOMPARE(count(f.data(), "DOZIRO1"), before);
        QCOMPARE(GuiFixture::endCount, ends + 2);
    }

    void savedFilesTakeTheChosenType() {
        const QString filters = "CSV file (*.csv);;Excel workbook (*.xlsx)";
        QCOMPARE(FileDialogs::withChosenSuffix("/tmp/myview", "Excel workbook (*.xlsx)", filters),
                 QString("/tmp/myview.xlsx"));
        QCOMPARE(FileDialogs::withChosenSuffix("/tmp/myview", "CSV file (*.csv)", filters),
                 QString("/tmp/myview.csv"));
        QCOMPARE(FileDialogs::withChosenSuffix("/tmp/a.CSV", "Excel workbook (*.xlsx)", filters),
                 QString("/tmp/a.CSV"));
        QCOMPARE(FileDialogs::withChosenSuffix("/tmp/v1.2", "CSV file (*.csv)", filters),
                 QString("/tmp/v1.2.csv"));
        QCOMPARE(FileDialogs::withChosenSuffix("/tmp/d", "SVG drawing (*.svg)",
                                               "PNG image (*.png);;SVG drawing (*.svg)"),
                 QString("/tmp/d.svg"));

        // Through the menu: the workbook chosen, a name without extension.
        GuiFixture f(30);
        auto& w = f.start();
        static QTemporaryDir dir;
        FileDialogs::setAnswer([](const QString&, QString* chosen) {
            *chosen = "Excel workbook (*.xlsx)";
            return dir.filePath("myview");
        });
        QSignalSpy done(&w.tools(), &ToolsController::exchangeFinished);
        w.findChild<QAction*>("mnuExport")->trigger();
        QVERIFY(done.wait(30000));
        FileDialogs::setAnswer(nullptr);
        QFile book(dir.filePath("myview.xlsx"));
        QVERIFY(book.open(QIODevice::ReadOnly));
        QCOMPARE(book.read(4), QByteArray("PK\x03\x04"));
        QVERIFY(!QFile::exists(dir.filePath("myview")));
    }
};

QTEST_MAIN(TestExchangeUi)
#include "tst_exchangeui.moc"
