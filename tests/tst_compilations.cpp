// Files as geologists download and save them: public compilations with
// citations and notes, survey files with units rows and no-data codes, lab
// sheets saved with decimal commas and thousands separators, mixed and
// UTF-16 encodings. Every stored value is checked against what the file
// means; whatever the import decided is said in its plan.
#include "exchange/CsvImport.h"
#include "exchange/NumberStyle.h"
#include "platform/db/Database.h"
#include "platform/db/Recordset.h"
#include "support/TestData.h"

#include <QProcess>
#include <QtTest>

#include <xlsxwriter.h>

#include <cmath>

namespace {

QString described(const ImportPlan& plan) {
    return QString::fromStdString(plan.describe());
}

} // namespace

class TestCompilations : public QObject {
    Q_OBJECT
private slots:
    void numbersInTheFilesConvention() {
        using numberstyle::Mark;
        struct Case {
            const char* text;
            Mark mark;
            bool ok;
            double value;
        };
        const Case cases[] = {
            {"1.234", Mark::Comma, true, 1234},
            {"1.234", Mark::Point, true, 1.234},
            {"12.345,6", Mark::Comma, true, 12345.6},
            {"1 234,5", Mark::Comma, true, 1234.5},
            {"1'234,5", Mark::Comma, true, 1234.5},
            {"1\xC2\xA0"
             "234,5",
             Mark::Comma, true, 1234.5},
            {"1,234.5", Mark::Point, true, 1234.5},
            {"-0,5", Mark::Comma, true, -0.5},
            {"51,37", Mark::Comma, true, 51.37},
            {"1.234.567", Mark::Comma, true, 1234567},
            {"51.37", Mark::Comma, false, 0},
            {"1.23", Mark::Comma, false, 0},
            {"1.2345", Mark::Comma, false, 0},
            {"0.123", Mark::Comma, false, 0},
            {"1234.567", Mark::Comma, false, 0},
            {"1.234 567", Mark::Comma, false, 0},
            {"1,5E-3", Mark::Comma, true, 1.5e-3},
            {"1.234E3", Mark::Comma, false, 0},
            {"+-5", Mark::Point, false, 0},
            {"12,3", Mark::Point, false, 0},
            {",", Mark::Comma, false, 0},
            {"5,", Mark::Comma, true, 5},
        };
        for (const Case& c : cases) {
            double v = 0;
            const bool ok = numberstyle::read(c.text, c.mark, v) == std::errc();
            QVERIFY2(ok == c.ok, c.text);
            if (ok)
                QVERIFY2(v == c.value, c.text);
        }
        // What cells show of the mark.
        numberstyle::Evidence e;
        for (const char* cell : {"1.234", "0.123", "51,37", "1.234,5", "12"})
            e.observe(cell);
        QCOMPARE(e.ambiguous, 1L);
        QCOMPARE(e.point, 1L); // 0.123 has no group before its point
        QCOMPARE(e.comma, 2L);
        QVERIFY(numberstyle::contradicted(e));
        QCOMPARE(numberstyle::decide(e, ','), Mark::Comma);
    }

    void aCommaDecimalSpreadsheetExport() {
        TestData d(10);
        QTemporaryDir dir;
        // Saved from a spreadsheet program: semicolons, decimal commas,
        // dots grouping thousands, and the empty rows below the table.
        const QString file = write(dir, "lab.csv",
                                   "Sample;Rockname;SiO2;Cr2O3;ZrO2;Total;Trace1\r\n"
                                   "A-1;Basalt;49,20;0,041;0,0123;99,87;1.234\r\n"
                                   "A-2;Andesite;58,10;;0,02;100,21;12.345,6\r\n"
                                   "A-3;Dacite;65,3;0,001;0,03;99,9;1 234,5\r\n"
                                   "A-4;Rhyolite;51.37;0,001;0,03;99,9;7\r\n"
                                   ";;;;;;\r\n;;;;;;\r\n");
        const ImportPlan plan = importInto(d, file);
        QCOMPARE(plan.mark, numberstyle::Mark::Comma);
        QCOMPARE(plan.rows, 4L);
        QCOMPARE(plan.blank, 2L);
        QCOMPARE(plan.bad, 1L);
        QCOMPARE(plan.firstBad[0].line, 5L);
        QCOMPARE(QString::fromStdString(plan.firstBad[0].text), QString("51.37"));
        QVERIFY(described(plan).contains("decimal mark: comma"));
        QVERIFY(described(plan).contains("Rows without any value, skipped: 2"));
        QCOMPARE(d.rawCount("SELECT count(*) FROM Project1"), 3LL);
        QCOMPARE(rows(d, "[Doziro Sample#] = 'A-1' AND SiO2 = 49.2 AND Cr2O3 = 0.041 AND "
                         "ZrO2 = 0.0123 AND Total = 99.87 AND Trace1 = 1234"),
                 1LL);
        QCOMPARE(rows(d, "[Doziro Sample#] = 'A-2' AND Cr2O3 IS NULL AND Trace1 = 12345.6"), 1LL);
        QCOMPARE(rows(d, "[Doziro Sample#] = 'A-3' AND SiO2 = 65.3 AND Trace1 = 1234.5"), 1LL);

        // A file whose cells all read either way says which way it took.
        const QString either = write(dir, "either.csv", "Rockname;SiO2;Trace1\nX;1.234;2.500\n");
        const ImportPlan p2 = CsvImport::plan(either.toStdString());
        QCOMPARE(p2.mark, numberstyle::Mark::Comma);
        QVERIFY2(described(p2).contains("no cell shows the mark") &&
                     described(p2).contains("'1.234'"),
                 qPrintable(described(p2)));
    }

    void aSurveyFileWithTitleLinesUnitsAndNoDataCodes() {
        TestData d(10);
        QTemporaryDir dir;
        const QString file =
            write(dir, "survey.csv",
                  "Date,03.05.2021\n"
                  "Laboratory,Central Lab\n"
                  "\n"
                  "Sample No.,Lithology,Collection date,SiO2,Al2O3,Cr,Zr_PPM,MgO,Trace1\n"
                  "units,,,wt%,wt%,ppm,,wt%,\n"
                  "S1,gabbro,12.03.1998,48.5,15.2,410,120,-9999,-3.2\n"
                  "S2,norite,3 March 1999,50.1,-0.01,-999,85,7.5,0.51\n"
                  "S3,peridotite,03/05/2021,120,2.1,2500,,38.2,\n");
        const ImportPlan plan = importInto(d, file);
        QCOMPARE(plan.headerLine, 4L);
        QCOMPARE(plan.headerRecord, 2L); // the empty line is no record
        QCOMPARE(plan.unitsLine, 5L);
        QCOMPARE(plan.rows, 3L);
        QCOMPARE(plan.bad, 1L); // SiO2 120
        QCOMPARE(QString::fromStdString(plan.firstBad[0].why), QString("above 100 %"));
        const QString text = described(plan);
        QVERIFY2(text.contains("Header on line 4") && text.contains("'Date'") &&
                     text.contains("Units from line 5"),
                 qPrintable(text));
        QVERIFY2(text.contains("Cr -> Cr2O3 (ppm to wt% Cr2O3, x 0.00014616)") &&
                     text.contains("Zr_PPM -> ZrO2 (ppm to wt% ZrO2, x 0.00013508)") &&
                     text.contains("Negative values (below detection), stored empty: Al2O3 1, "
                                   "MgO 1, Cr2O3 1"),
                 qPrintable(text));
        QVERIFY(text.contains("'03/05/2021'"));
        // 410 ppm Cr is 0.0410 % Cr, 0.0410 x 151.99/103.99 % Cr2O3.
        const double cr2o3 = 410 * 1e-4 * (2 * 51.996 + 3 * 15.999) / (2 * 51.996);
        const double zro2 = 120 * 1e-4 * (91.224 + 2 * 15.999) / 91.224;
        QCOMPARE(d.rawCount("SELECT count(*) FROM Project1"), 2LL);
        QCOMPARE(rows(d, "[Doziro Sample#] = 'S1' AND Rockname = 'gabbro' AND Date = '1998-03-12' "
                         "AND SiO2 = 48.5 AND MgO IS NULL AND Trace1 = -3.2 AND abs(Cr2O3 - " +
                             std::to_string(cr2o3) + ") < 1e-5 AND abs(ZrO2 - " +
                             std::to_string(zro2) + ") < 1e-5"),
                 1LL);
        QCOMPARE(rows(d, "[Doziro Sample#] = 'S2' AND Date = '1999-03-03' AND Al2O3 IS NULL AND "
                         "Cr2O3 IS NULL AND MgO = 7.5"),
                 1LL);

        // No analysis column at all: refused, with the headers named.
        const QString none = planError(write(dir, "none.csv",
                                             "Sample,SIO2_MOL,Rockname,Location\n"
                                             "X,50,basalt,here\n"));
        QVERIFY2(none.contains("None of the columns") && none.contains("'SIO2_MOL'"),
                 qPrintable(none));
        // An element without its unit is left out, never assumed; a unit we
        // do not know keeps its value as reported, out of our columns.
        const QString odd = write(dir, "odd.csv", "SiO2,Cr,MgO (mol%)\n50,410,7\n");
        const ImportPlan p2 = CsvImport::plan(odd.toStdString());
        QCOMPARE(p2.columns.skipped, std::vector<std::string>({"Cr"}));
        QVERIFY(described(p2).contains("MgO (mol%) -> kept as MgO, mol%"));
        QVERIFY(described(p2).contains("'mol%' is not one the program knows"));
    }

    void aTitleLineWithAnotherSeparator() {
        TestData d(10);
        QTemporaryDir dir;
        // The title has a comma; the table below it is semicolon-separated.
        const ImportPlan plan = importInto(
            d,
            write(
                dir, "titled.csv",
                "Analyses, exported 03.05.2021\nSample;Rockname;SiO2;MgO\nT-1;Basalt;49,5;7,25\n"));
        QCOMPARE(plan.delimiter, ';');
        QCOMPARE(plan.headerLine, 2L);
        QCOMPARE(rows(d, "[Doziro Sample#] = 'T-1' AND SiO2 = 49.5 AND MgO = 7.25"), 1LL);
    }

    void aCompilationAsDownloaded() {
        TestData d(10);
        QTemporaryDir dir;
        // CR-only line ends, two headers for the rock name and the location,
        // citations in the cells, total iron only, notes at the end.
        QByteArray georoc =
            "CITATIONS,LOCATION,LOCATION COMMENT,ROCK NAME,ROCK TYPE,SAMPLE NAME,SIO2(WT%),"
            "FEOT(WT%),FEO(WT%),MGO(WT%)\r"
            "[29001],HAWAII / KILAUEA,SUMMIT,THOLEIITE [29001],VOLCANIC ROCK,K-1,51.37 [29001],"
            "11.2,,7.1\r"
            "[19973],OMAN,WADI TAYIN,CHROMITITE [19973],PLUTONIC ROCK,O-7,2.1,14.5,13.0,x\r"
            "[19973],OMAN,WADI TAYIN,DUNITE,PLUTONIC ROCK,O-8,40.2,8.1,,49.5\r"
            "\r"
            "Abbreviations:\r"
            "[29001] SMITH, J. (2001): A PAPER\r";
        const ImportPlan plan = importInto(d, write(dir, "georoc.csv", georoc));
        QCOMPARE(plan.rows, 3L);
        QCOMPARE(plan.bad, 1L);
        QCOMPARE(plan.firstBad[0].line, 3L); // the true line, not "line 1"
        QCOMPARE(plan.endLine, 6L);
        QCOMPARE(plan.totalIron, 2L);
        const QString text = described(plan);
        QVERIFY2(text.contains("Chosen: LOCATION, not LOCATION COMMENT, for Location") &&
                     text.contains("Chosen: ROCK NAME, not ROCK TYPE, for Rockname"),
                 qPrintable(text));
        QCOMPARE(rows(d, "Rockname = 'THOLEIITE' AND Location = 'HAWAII / KILAUEA' AND "
                         "SiO2 = 51.37 AND FeO = 11.2 AND Fe2O3 IS NULL AND MgO = 7.1"),
                 1LL);
        QCOMPARE(rows(d, "Rockname = 'DUNITE' AND FeO = 8.1 AND Fe2O3 IS NULL"), 1LL);
        QCOMPARE(d.rawCount("SELECT count(*) FROM Project1"), 2LL);
    }

    void aStrayQuoteIsOneBadRow() {
        TestData d(10);
        QTemporaryDir dir;
        const ImportPlan plan =
            importInto(d, write(dir, "quote.csv",
                                "Rockname,Location,SiO2\nBasalt,ridge,49.1\nCore,12\" drill,50\n"
                                "Dacite,\"Lake \"\"Blue\"\"\",65\n"));
        QCOMPARE(plan.rows, 3L);
        QCOMPARE(plan.bad, 1L);
        QCOMPARE(plan.firstBad[0].line, 3L);
        QVERIFY(plan.firstBad[0].why.find("a quote inside a field") != std::string::npos);
        QCOMPARE(d.rawCount("SELECT count(*) FROM Project1"), 2LL);
        QCOMPARE(rows(d, "Rockname = 'Dacite' AND Location = 'Lake \"Blue\"' AND SiO2 = 65"), 1LL);
    }

    void workbooksAsLabsSaveThem() {
        TestData d(10);
        QTemporaryDir dir;
        // An .xlsx of two sheets: notes, and the analyses with numbers as
        // numbers, a formula's result, a date and a short row.
        const QString xlsx = dir.filePath("lab.xlsx");
        {
            lxw_workbook* book = workbook_new(xlsx.toUtf8().constData());
            lxw_worksheet* notes = workbook_add_worksheet(book, "Notes");
            worksheet_write_string(notes, 0, 0, "Analysed at the central lab", nullptr);
            lxw_worksheet* data = workbook_add_worksheet(book, "Data");
            lxw_format* date = workbook_add_format(book);
            format_set_num_format(date, "yyyy-mm-dd");
            const char* header[] = {"Sample",   "Rock type", "SiO2 (wt.%)",
                                    "Cr [ppm]", "Total",     "Sampling date"};
            for (int c = 0; c < 6; ++c)
                worksheet_write_string(data, 0, static_cast<lxw_col_t>(c), header[c], nullptr);
            worksheet_write_string(data, 1, 0, "W-1", nullptr);
            worksheet_write_string(data, 1, 1, "Basalt", nullptr);
            worksheet_write_number(data, 1, 2, 49.3, nullptr);
            worksheet_write_number(data, 1, 3, 410, nullptr);
            worksheet_write_formula_num(data, 1, 4, "=C2+0.5", nullptr, 49.8);
            lxw_datetime when = {1998, 3, 12, 0, 0, 0};
            worksheet_write_datetime(data, 1, 5, &when, date);
            worksheet_write_string(data, 2, 0, "W-2", nullptr);
            worksheet_write_number(data, 2, 2, 51.25, nullptr); // a short row
            QCOMPARE(workbook_close(book), LXW_NO_ERROR);
        }
        // Two sheets with data and none named: the caller is to ask, and
        // one that cannot is refused.
        const CsvImport::Reading reading = CsvImport::read(xlsx.toStdString());
        const auto* sheets = std::get_if<SheetList>(&reading);
        QVERIFY(sheets);
        QCOMPARE(sheets->names, std::vector<std::string>({"Notes", "Data"}));
        QVERIFY2(QString::fromStdString(sheets->question).contains("several sheets"),
                 sheets->question.c_str());
        try {
            CsvImport::plan(xlsx.toStdString());
            QFAIL("several sheets read without one named");
        } catch (const CsvError& e) {
            QCOMPARE(e.code(), CsvError::Code::SheetNeeded);
            QCOMPARE(QString(e.what()), QString::fromStdString(sheets->question));
        }
        QVERIFY(planError(xlsx + "x").contains("Cannot read"));
        d.rawExec("DELETE FROM Project1");
        ImportPlan plan = CsvImport::plan(xlsx.toStdString(), nullptr, {}, "Data");
        QCOMPARE(plan.rows, 2L);
        QCOMPARE(plan.bad, 0L);
        QVERIFY2(described(plan).contains("a workbook, its sheet 'Data'"),
                 qPrintable(described(plan)));
        auto db = d.open();
        QCOMPARE(CsvImport::run(*db, "Project1", plan), 2L);
        const double cr2o3 = 410 * 1e-4 * 1.4616;
        QCOMPARE(rows(d, "[Doziro Sample#] = 'W-1' AND Rockname = 'Basalt' AND SiO2 = 49.3 AND "
                         "Total = 49.8 AND abs(Cr2O3 - " +
                             QString::number(cr2o3, 'g', 17).toStdString() +
                             ") < 1e-9 AND Date = '1998-03-12'"),
                 1LL);
        QCOMPARE(rows(d, "[Doziro Sample#] = 'W-2' AND SiO2 = 51.25 AND Cr2O3 IS NULL"), 1LL);

        // An .ods as a spreadsheet program writes it.
        const QString ods = dir.filePath("survey.ods");
        const QString content =
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
            "<office:document-content "
            "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
            "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
            "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" office:version=\"1.2\">"
            "<office:body><office:spreadsheet><table:table table:name=\"Analyses\">"
            "<table:table-row><table:table-cell "
            "office:value-type=\"string\"><text:p>Lithology</text:p></table:table-cell>"
            "<table:table-cell "
            "office:value-type=\"string\"><text:p>Locality</text:p></table:table-cell>"
            "<table:table-cell "
            "office:value-type=\"string\"><text:p>SiO₂</text:p></table:table-cell>"
            "<table:table-cell "
            "office:value-type=\"string\"><text:p>MgO</text:p></table:table-cell></table:table-row>"
            "<table:table-row><table:table-cell "
            "office:value-type=\"string\"><text:p>Dunite</text:p></table:table-cell>"
            "<table:table-cell "
            "office:value-type=\"string\"><text:p>Åland</text:p></table:table-cell>"
            "<table:table-cell office:value-type=\"float\" "
            "office:value=\"40.2\"><text:p>40,2</text:p></table:table-cell>"
            "<table:table-cell office:value-type=\"float\" "
            "office:value=\"49.5\"><text:p>49,5</text:p></table:table-cell>"
            "</table:table-row></table:table></office:spreadsheet></office:body></"
            "office:document-content>";
        QFile script(dir.filePath("ods.py"));
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write(
            "import sys, zipfile\n"
            "z = zipfile.ZipFile(sys.argv[1], 'w')\n"
            "z.writestr(zipfile.ZipInfo('mimetype'), "
            "'application/vnd.oasis.opendocument.spreadsheet')\n"
            "z.writestr('META-INF/manifest.xml', '<?xml version=\"1.0\"?><manifest:manifest "
            "xmlns:manifest=\"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0\"><manifest:file-"
            "entry "
            "manifest:full-path=\"/\" "
            "manifest:media-type=\"application/vnd.oasis.opendocument.spreadsheet\"/>"
            "<manifest:file-entry manifest:full-path=\"content.xml\" "
            "manifest:media-type=\"text/xml\"/>"
            "</manifest:manifest>')\n"
            "z.writestr('content.xml', open(sys.argv[2], encoding='utf-8').read())\n"
            "z.close()\n");
        script.close();
        QFile xml(dir.filePath("content.xml"));
        QVERIFY(xml.open(QIODevice::WriteOnly));
        xml.write(content.toUtf8());
        xml.close();
        QCOMPARE(QProcess::execute("python3", {script.fileName(), ods, xml.fileName()}), 0);
        const ImportPlan p2 = importInto(d, ods);
        QCOMPARE(p2.sheet, std::string("Analyses"));
        QCOMPARE(
            rows(d, "Rockname = 'Dunite' AND Location = 'Åland' AND SiO2 = 40.2 AND MgO = 49.5"),
            1LL);
    }

    void theSubstringIndexFollowsAnImport() {
        TestData d(10);
        QTemporaryDir dir;
        QByteArray csv = "Rockname,Location,SiO2\n";
        for (int i = 0; i < 300; ++i)
            csv += "Basalt " + QByteArray::number(i) + ",Qaqortoq fjord " + QByteArray::number(i) +
                   ",50\n";
        importInto(d, write(dir, "many.csv", csv));
        auto db = d.open();
        // The engine's search, through the index, finds what a scan finds.
        auto rs =
            db->OpenRecordset("SELECT * FROM [Project1] Where [Location] Like '*qortoq fjord 12*'");
        QCOMPARE(rs->RecordCount(), 11L); // 12, 120 to 129
        QCOMPARE(d.rawCount("SELECT count(*) FROM Project1_trigram WHERE Location LIKE "
                            "'%qortoq fjord 12%'"),
                 11LL);
        // Its trigger is back: a row added afterwards is found too.
        QCOMPARE(d.rawCount("SELECT count(*) FROM sqlite_master WHERE name = "
                            "'Project1_trigram_insert'"),
                 1LL);
        d.rawExec(
            "INSERT INTO Project1(Rockname, Location) VALUES ('Dunite', 'Qaqortoq fjord 12b')");
        rs =
            db->OpenRecordset("SELECT * FROM [Project1] Where [Location] Like '*qortoq fjord 12*'");
        QCOMPARE(rs->RecordCount(), 12L);
        d.rawExec("INSERT INTO Project1_trigram(Project1_trigram) VALUES ('integrity-check')");
    }

    void encodingsLineByLine() {
        TestData d(10);
        QTemporaryDir dir;
        // UTF-8 throughout, but for one line written by another program.
        QByteArray mixed = "Rockname,Location,SiO2\n";
        mixed += "Basalt,S\xC3\xA9gou,49.1\n";
        mixed += "Andesite,N\xF8rre Fjord,58.4\n"; // Windows-1252
        mixed += "Dacite,\xC3\x85land,65\n";
        const ImportPlan plan = importInto(d, write(dir, "mixed.csv", mixed));
        QVERIFY(plan.latin1);
        QCOMPARE(plan.source.windowsLines(), std::vector<long>({3}));
        QVERIFY(described(plan).contains("1 line read as Windows-1252 (line 3)"));
        QCOMPARE(rows(d, "Location = 'Ségou'"), 1LL);
        QCOMPARE(rows(d, "Location = 'Nørre Fjord'"), 1LL);
        QCOMPARE(rows(d, "Location = 'Åland'"), 1LL);

        // A spreadsheet's "Unicode text": UTF-16 with its byte-order mark,
        // tab-separated.
        const QString text = "Rockname\tLocation\tSiO2\r\nTrachyte\tÍsland\t62,5\r\n";
        QByteArray utf16("\xFF\xFE", 2);
        utf16.append(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
        const ImportPlan p2 = importInto(d, write(dir, "unicode.txt", utf16));
        QCOMPARE(QString::fromStdString(p2.source.encoding()), QString("UTF-16LE"));
        QCOMPARE(p2.mark, numberstyle::Mark::Comma);
        QCOMPARE(rows(d, "Rockname = 'Trachyte' AND Location = 'Ísland' AND SiO2 = 62.5"), 1LL);
        // The same, high byte first.
        const QString phonolite = QString(text).replace("Trachyte", "Phonolite");
        QByteArray bigEndian("\xFE\xFF", 2);
        for (const QChar c : phonolite)
            bigEndian.append(char(c.unicode() >> 8)).append(char(c.unicode() & 0xFF));
        const ImportPlan p3 = importInto(d, write(dir, "unicode-be.txt", bigEndian));
        QCOMPARE(QString::fromStdString(p3.source.encoding()), QString("UTF-16BE"));
        QCOMPARE(rows(d, "Rockname = 'Phonolite' AND Location = 'Ísland' AND SiO2 = 62.5"), 1LL);
    }
};

QTEST_MAIN(TestCompilations)
#include "tst_compilations.moc"
