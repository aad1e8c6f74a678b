// Export of a view: the workbook read back by an independent reader (the
// sheet's XML inside the zip), a view too large for a sheet refused before
// anything is written, and no temporary file left behind by any failure.
#include "exchange/CsvImport.h"
#include "exchange/ViewExport.h"
#include "platform/db/Database.h"
#include "platform/db/Recordset.h"
#include "support/RecordsetRows.h"
#include "support/TestData.h"

#include <QDir>
#include <QProcess>
#include <QXmlStreamReader>
#include <QtTest>

#include <sqlite3.h>

namespace {

const char* kByRockname = "SELECT * From [DOZIRO1]Order By [Rockname] ASC";

// One member of a zip file, read by Python's zipfile module.
QByteArray zipMember(const QString& zip, const QString& member) {
    QProcess p;
    p.start("python3", {"-c",
                        "import sys, zipfile\n"
                        "sys.stdout.buffer.write(zipfile.ZipFile(sys.argv[1]).read(sys.argv[2]))",
                        zip, member});
    p.waitForFinished(30000);
    return p.exitCode() == 0 ? p.readAllStandardOutput() : QByteArray();
}

// The cells of the first sheet, row by row, as their texts.
QList<QStringList> sheetRows(const QString& xlsx) {
    QStringList shared;
    QXmlStreamReader s(zipMember(xlsx, "xl/sharedStrings.xml"));
    while (!s.atEnd())
        if (s.readNext() == QXmlStreamReader::StartElement && s.name() == u"t")
            shared << s.readElementText();
    QList<QStringList> rows;
    QXmlStreamReader x(zipMember(xlsx, "xl/worksheets/sheet1.xml"));
    QString type;
    while (!x.atEnd()) {
        if (x.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (x.name() == u"row")
            rows.append(QStringList());
        else if (x.name() == u"c") {
            type = x.attributes().value("t").toString();
            // Columns by their letters: A is 0; an empty cell is skipped.
            const QString ref = x.attributes().value("r").toString();
            int col = 0;
            for (QChar ch : ref) {
                if (!ch.isLetter())
                    break;
                col = col * 26 + (ch.unicode() - 'A' + 1);
            }
            while (rows.last().size() < col)
                rows.last().append(QString());
        } else if (x.name() == u"v" || x.name() == u"t") {
            const QString text = x.readElementText();
            rows.last().last() = type == "s" ? shared.value(text.toInt()) : text;
        }
    }
    return rows;
}

QStringList filesIn(const QString& dir) {
    return QDir(dir).entryList(QDir::Files | QDir::Hidden);
}

} // namespace

class TestExport : public QObject {
    Q_OBJECT
private slots:
    void workbookHoldsTheHeaderAndEveryRow() {
        TestData d(300);
        d.rawExec("UPDATE DOZIRO1 SET Location = 'line\nbreak', SiO2 = 47.125 WHERE ID = 9");
        auto db = d.open(true);
        auto rs = db->OpenRecordset(kByRockname, true);
        QTemporaryDir dir;
        const QString path = dir.filePath("view.xlsx");
        QCOMPARE(exportRows(*rs, path.toStdString()), 300L);
        const QList<QStringList> rows = sheetRows(path);
        QCOMPARE(rows.size(), 301);
        QStringList header;
        for (const auto& name : rs->FieldNames())
            header << QString::fromStdString(name);
        QCOMPARE(rows[0], header);
        // Each row in the view's order, text as text and numbers as stored.
        for (int r = 0; r < 300; ++r) {
            QCOMPARE(rows[r + 1].value(4), QString::fromStdString(rs->valueAt(r, 4).storedText()));
            QCOMPARE(rows[r + 1].value(31), QString::number(rs->valueAt(r, 31).toInteger()));
        }
        const long at = rs->indexOfKey(9);
        QCOMPARE(rows[at + 1].value(3), QString("line\nbreak"));
        QCOMPARE(rows[at + 1].value(5).toDouble(), 47.125);
    }

    void viewTooLargeForASheetIsRefusedBeforeWriting() {
        TestData d(10);
        d.rawExec("DELETE FROM Project1");
        d.rawExec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < "
                  "1048576) INSERT INTO Project1(Rockname, SiO2) SELECT 'r', 50 FROM n");
        auto db = d.open(true);
        auto rs = db->OpenRecordset("SELECT * From [Project1]", true);
        QTemporaryDir dir;
        const QString path = dir.filePath("big.xlsx");
        QFile earlier(path);
        QVERIFY(earlier.open(QIODevice::WriteOnly));
        earlier.write("kept");
        earlier.close();
        QString message;
        try {
            exportRows(*rs, path.toStdString());
        } catch (const std::runtime_error& e) {
            message = e.what();
        }
        QVERIFY2(message.contains("1048576 rows") && message.contains("1048575"),
                 qPrintable(message));
        QCOMPARE(filesIn(dir.path()), QStringList{"big.xlsx"});
        QVERIFY(earlier.open(QIODevice::ReadOnly));
        QCOMPARE(earlier.readAll(), QByteArray("kept"));
    }

    void failuresLeaveNoTemporaryFile() {
        TestData d(3000);
        QTemporaryDir dir;
        // A place the system refuses: its own reason, said before any work.
        {
            auto db = d.open(true);
            auto rs = db->OpenRecordset(kByRockname, true);
            for (const char* name : {"/no-such-folder/view.xlsx", "/no-such-folder/view.csv"}) {
                QString message;
                try {
                    exportRows(*rs, name);
                } catch (const std::runtime_error& e) {
                    message = e.what();
                }
                QCOMPARE(message,
                         QString("Cannot write '%1': No such file or directory.").arg(name));
            }
        }
        // A file its owner made read-only is refused, and stays as it was.
        {
            auto db = d.open(true);
            auto rs = db->OpenRecordset(kByRockname, true);
            for (const char* name : {"kept.csv", "kept.xlsx"}) {
                QFile kept(dir.filePath(name));
                QVERIFY(kept.open(QIODevice::WriteOnly) && kept.write("kept") == 4);
                kept.close();
                QVERIFY(kept.setPermissions(QFileDevice::ReadOwner));
                QString message;
                try {
                    exportRows(*rs, kept.fileName().toStdString());
                } catch (const std::runtime_error& e) {
                    message = e.what();
                }
                QCOMPARE(message,
                         QString("Cannot write '%1': the file is read-only.").arg(kept.fileName()));
                QVERIFY(kept.open(QIODevice::ReadOnly));
                QCOMPARE(kept.readAll(), QByteArray("kept"));
                kept.close();
                QVERIFY(kept.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner));
                QVERIFY(kept.remove());
            }
        }
        // A page of the table damaged in the middle of the view: the read
        // fails halfway through both kinds of file.
        d.damageRowPage(1500);
        auto db = d.open(true);
        // Keys from the intact Rockname index; the rows behind them meet the
        // damaged page part of the way through.
        auto rs = db->OpenRecordset(kByRockname, true);
        for (const char* name : {"view.csv", "view.xlsx"}) {
            QString message;
            try {
                exportRows(*rs, dir.filePath(name).toStdString());
            } catch (const std::exception& e) {
                message = e.what();
            }
            QVERIFY2(message.contains("is damaged"), qPrintable(message));
            QCOMPARE(filesIn(dir.path()), QStringList());
        }
    }

    void csvQuotesEveryFieldThatNeedsIt() {
        // RFC 4180: a field holding a comma, a quote, a line feed or a
        // carriage return is quoted, its quotes doubled; others stand bare.
        QCOMPARE(ViewExport::csvField("plain text"), std::string("plain text"));
        QCOMPARE(ViewExport::csvField("two\nlines"), std::string("\"two\nlines\""));
        QCOMPARE(ViewExport::csvField("two\rlines"), std::string("\"two\rlines\""));
        QCOMPARE(ViewExport::csvField("a,b"), std::string("\"a,b\""));
        QCOMPARE(ViewExport::csvField("say \"hi\""), std::string("\"say \"\"hi\"\"\""));
        QCOMPARE(ViewExport::csvField(""), std::string(""));
        QCOMPARE(ViewExport::csvField(" padded "), std::string("\" padded \""));
    }

    void textComesBackAsItWasNeverAsAFormula() {
        TestData d(20);
        d.rawExec("DELETE FROM Project2");
        const char* texts[] = {"=HYPERLINK(\"http://x\",\"y\")",
                               "+1 sample",
                               "-tail",
                               "@SUM(A1)",
                               "'=quoted",
                               "'plain",
                               "  padded both  ",
                               "\tafter a tab"};
        for (int i = 0; i < 8; ++i)
            d.rawExec("UPDATE DOZIRO1 SET Location = '" +
                      QString(texts[i]).replace("'", "''").toStdString() +
                      "' WHERE ID = " + std::to_string(i + 1));
        auto db = d.open();
        auto rs = db->OpenRecordset("SELECT * From [DOZIRO1]", true);
        QTemporaryDir dir;
        const std::string file = dir.filePath("view.csv").toStdString();
        QCOMPARE(exportRows(*rs, file), 20L);
        QFile f(QString::fromStdString(file));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray text = f.readAll();
        // A spreadsheet sees text: no cell starts with a formula sign.
        QVERIFY(text.contains(",\"'=HYPERLINK(\"\"http://x\"\",\"\"y\"\")\","));
        QVERIFY(text.contains(",'+1 sample,") && text.contains(",'-tail,") &&
                text.contains(",'@SUM(A1),") && text.contains(",''=quoted,") &&
                text.contains(",'plain,") && text.contains(",\"  padded both  \","));
        const ImportPlan plan = CsvImport::plan(file);
        QCOMPARE(CsvImport::run(*db, "Project2", plan), 20L);
        for (const char* t : texts)
            QVERIFY2(d.rawCount("SELECT count(*) FROM Project2 WHERE Location = '" +
                                QString(t).replace("'", "''").toStdString() + "'") == 1,
                     t);
        // Negative numbers stay numbers.
        QCOMPARE(d.rawCount("SELECT count(*) FROM Project2 WHERE typeof(SiO2) = 'text' AND "
                            "SiO2 <> 'Empty'"),
                 0LL);
    }

    void workbookNumbersKeepEveryDigit() {
        TestData d(300);
        d.rawExec("DELETE FROM Project2");
        // Results of arithmetic that 16 digits do not hold, the largest
        // double, and the usual two-decimal values beside them.
        d.rawExec("UPDATE DOZIRO1 SET TiO2 = 0.1 + 0.2 WHERE ID = 6");
        d.rawExec("UPDATE DOZIRO1 SET Trace1 = 1.7976931348623157e308, Trace2 = -1.0e-5 / 3, "
                  "Trace3 = 1.0 / 3, Trace4 = 200.0 / 3, Trace5 = 49.2 + 0.1 WHERE ID = 250");
        auto db = d.open();
        auto rs = db->OpenRecordset("SELECT * From [DOZIRO1] ORDER BY ID", true);
        QTemporaryDir dir;
        const QString file = dir.filePath("view.xlsx");
        QCOMPARE(exportRows(*rs, file.toStdString()), 300L);
        // The sheet holds text that reads back each number exactly.
        const QByteArray sheet = zipMember(file, "xl/worksheets/sheet1.xml");
        const std::pair<const char*, double> cells[] = {
            {"G7", 0.1 + 0.2},      {"AA251", 1.7976931348623157e308},
            {"AB251", -1.0e-5 / 3}, {"AC251", 1.0 / 3},
            {"AD251", 200.0 / 3},   {"AE251", 49.2 + 0.1},
            {"F251", 67.62},
        };
        for (const auto& [ref, value] : cells) {
            const QByteArray open = QByteArray("<c r=\"") + ref + "\"><v>";
            const qsizetype at = sheet.indexOf(open);
            QVERIFY2(at >= 0, ref);
            const qsizetype from = at + open.size();
            const QByteArray text = sheet.mid(from, sheet.indexOf("</v>", from) - from);
            QVERIFY2(std::strtod(text.constData(), nullptr) == value, text.constData());
        }
        // And the import takes every value back, bit for bit.
        const ImportPlan plan = CsvImport::plan(file.toStdString());
        QCOMPARE(plan.bad, 0L);
        QCOMPARE(CsvImport::run(*db, "Project2", plan), 300L);
        const std::string cols = "SiO2, TiO2, Al2O3, Fe2O3, FeO, MnO, MgO, CaO, Na2O, K2O, P2O5, "
                                 "Total, Trace1, Trace2, Trace3, Trace4, Trace5";
        QCOMPARE(d.rawCount("SELECT count(*) FROM (SELECT " + cols +
                            " FROM DOZIRO1 EXCEPT "
                            "SELECT " +
                            cols + " FROM Project2)"),
                 0LL);
    }

    void workbookRefusesATextTooLongForACell() {
        TestData d(5);
        d.rawExec("UPDATE DOZIRO1 SET Location = printf('%.*c', 40000, 'x') WHERE ID = 3");
        auto db = d.open(true);
        auto rs = db->OpenRecordset("SELECT * From [DOZIRO1] ORDER BY ID", true);
        QTemporaryDir dir;
        QString message;
        try {
            exportRows(*rs, dir.filePath("long.xlsx").toStdString());
        } catch (const std::runtime_error& e) {
            message = e.what();
        }
        QVERIFY2(message.contains("row 3, column Location") && message.contains("40000") &&
                     message.contains("32767"),
                 qPrintable(message));
        QCOMPARE(filesIn(dir.path()), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestExport)
#include "tst_export.moc"
