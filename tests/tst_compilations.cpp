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

// Imports a file into an emptied Project1; the plan it was imported by.
ImportPlan importInto(TestData& d, const QString& file) {
    d.rawExec("DELETE FROM Project1");
    ImportPlan plan = CsvImport::plan(file.toStdString());
    auto db = d.open();
    CsvImport::run(*db, "Project1", plan);
    return plan;
}

long long rows(TestData& d, const std::string& where) {
    return d.rawCount("SELECT count(*) FROM Project1 WHERE " + where);
}

// The values kept beside the row of one sample, as stored.
std::vector<engine::SampleValue> storedValues(TestData& d, const std::string& sample) {
    std::vector<engine::SampleValue> out;
    d.open()->readValues("Project1", "[Doziro Sample#] = '" + sample + "'",
                         [&](const engine::StoredValue& v) {
                             out.push_back(v.value);
                             return true;
                         });
    return out;
}

} // namespace

namespace QTest {
// Values in words, for a failed comparison.
template <> char* toString(const std::vector<engine::SampleValue>& values) {
    QString out;
    for (const engine::SampleValue& v : values)
        out +=
            QString("\n  %1 = %2%3 %4 [%5] (%6)")
                .arg(QString::fromStdString(v.analyte),
                     v.qualifier ? QString(QChar(v.qualifier)) : QString(),
                     v.value ? QString::number(*v.value, 'g', 17) : QString::fromStdString(v.text),
                     QString::fromStdString(v.unit), QString::fromStdString(v.method),
                     QString::fromStdString(v.reference));
    return qstrdup(out.toUtf8().constData());
}
} // namespace QTest

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

    void everyValueOfACompilationKept() {
        TestData d(10);
        QTemporaryDir dir;
        // As the precompiled files come: volatiles in wt% and in ppm, total
        // iron beside FeO, citations per sample and per value resolved
        // against the references at the end (one of them split at its
        // commas), bounds of the coordinates, isotopes, sample facts.
        const QByteArray georoc =
            "CITATION,TECTONIC SETTING,LOCATION,LOCATION COMMENT,LATITUDE (MIN.),LATITUDE (MAX.),"
            "LONGITUDE (MIN.),LONGITUDE (MAX.),SAMPLE NAME,ROCK NAME,MATERIAL,SIO2(WT%),FEOT(WT%),"
            "FEO(WT%),CO2(WT%),CO2(PPM),CL(WT%),CL(PPM),CR(PPM),CR2O3(WT%),LA(PPM),SR87_SR86,"
            "EPSILON_ND,UNIQUE_ID\n"
            "[1] [2],OCEAN ISLAND,HAWAII,KILAUEA,19.4,19.4,-155.3,-155.2,K-1,THOLEIITE,WHOLE ROCK,"
            "50.10 [1],11.20,,0.12,,,350,410,,15.2 [2],0.70350,7.1,123-AB\n"
            "[2],OCEAN ISLAND,HAWAII,MAUNA LOA,19.5,19.5,-155.6,-155.6,M-2,PICRITE,GLASS,46.0,12.5,"
            "10.1,,1500,0.02,,,0.30,<0.5,0.70370,,124-AB\n"
            "[2],OCEAN ISLAND,HAWAII,,,,,,M-3,BASALT,WHOLE ROCK,49.0,9.0,9.5,0.12,2000,,,,,,,,\n"
            "\n"
            "References:\n"
            "[1] SMITH, J. (2001): LAVAS OF KILAUEA. J PETROL 42\n"
            "[2] JONES, K., LEE, M. (2005): MAUNA LOA GLASSES\n";
        const ImportPlan plan = importInto(d, write(dir, "georoc.csv", georoc));
        QCOMPARE(plan.bad, 0L);
        const QString text = described(plan);
        QVERIFY2(text.contains("CO2(WT%), then CO2(PPM), for CO2, row by row") &&
                     text.contains("CO2(PPM) -> CO2 where CO2(WT%) gives none (ppm to wt% CO2") &&
                     text.contains("LA(PPM) -> kept as La, ppm") &&
                     text.contains("LOCATION COMMENT -> kept as the fact Location comment") &&
                     text.contains("(2 references)"),
                 qPrintable(text));
        // The 32 columns: wt% first, ppm where the row has no wt%; FeO
        // beside total iron gives Fe2O3 as the rest: (12.5 - 10.1) x 1.1113.
        QCOMPARE(rows(d, "[Doziro Sample#] = 'K-1' AND SiO2 = 50.1 AND FeO = 11.2 AND Fe2O3 IS "
                         "NULL AND CO2 = 0.12 AND abs(Cl - 0.035) < 1e-12 AND "
                         "abs(Cr2O3 - 0.0599256) < 1e-7"),
                 1LL);
        QCOMPARE(rows(d, "[Doziro Sample#] = 'M-2' AND FeO = 10.1 AND abs(Fe2O3 - 2.66712) < 1e-9 "
                         "AND abs(CO2 - 0.15) < 1e-12 AND Cl = 0.02 AND Cr2O3 = 0.3"),
                 1LL);
        // FeO above the total and 0.12 % against 2000 ppm are listed, and
        // the row keeps what it was given.
        QCOMPARE(plan.disagreements, 2L);
        QVERIFY2(text.contains("line 4: CO2(WT%) '0.12' and CO2(PPM) '2000'") &&
                     text.contains("line 4: FeO above the total iron"),
                 qPrintable(text));
        QCOMPARE(rows(d, "[Doziro Sample#] = 'M-3' AND CO2 = 0.12 AND FeO = 9.5 AND Fe2O3 IS NULL"),
                 1LL);

        const std::string smith = "SMITH, J. (2001): LAVAS OF KILAUEA. J PETROL 42";
        const std::string jones = "JONES, K., LEE, M. (2005): MAUNA LOA GLASSES";
        auto v = [](const char* analyte, double value, const char* unit,
                    const std::string& reference = {}, char qualifier = 0) {
            engine::SampleValue s;
            s.analyte = analyte;
            s.value = value;
            s.unit = unit;
            s.reference = reference;
            s.qualifier = qualifier;
            return s;
        };
        auto fact = [](const char* analyte, const char* text, const std::string& reference = {}) {
            engine::SampleValue s;
            s.analyte = analyte;
            s.text = text;
            s.reference = reference;
            return s;
        };
        const std::vector<engine::SampleValue> k1 = {
            fact("Tectonic setting", "OCEAN ISLAND"),
            fact("Location comment", "KILAUEA"),
            v("Latitude", 19.4, ""),
            v("Longitude min", -155.3, ""),
            v("Longitude max", -155.2, ""),
            fact("Material", "WHOLE ROCK"),
            v("SiO2", 50.1, "wt%", smith),
            v("FeOT", 11.2, "wt%"),
            v("CO2", 0.12, "wt%"),
            v("Cl", 350, "ppm"),
            v("Cr", 410, "ppm"),
            v("La", 15.2, "ppm", jones),
            v("87Sr/86Sr", 0.7035, ""),
            v("\xCE\xB5Nd", 7.1, ""),
            fact("Unique ID", "123-AB"),
            fact("Reference", smith.c_str(), smith),
            fact("Reference", jones.c_str(), jones),
        };
        QCOMPARE(storedValues(d, "K-1"), k1);
        const std::vector<engine::SampleValue> m2 = storedValues(d, "M-2");
        // One reference for the sample: every value cites it.
        QCOMPARE(m2[2], v("Latitude", 19.5, "", jones));
        QVERIFY(std::find(m2.begin(), m2.end(), v("La", 0.5, "ppm", jones, '<')) != m2.end());
        QVERIFY(std::find(m2.begin(), m2.end(), v("CO2", 1500, "ppm", jones)) != m2.end());
        QCOMPARE(storedValues(d, "M-3").size(), 8u); // the empty cells give none

        // The same file again: every row is a sample there already (two by
        // their identifier, one by its name and values), left out, or put
        // in the other's place with its values; never doubled unasked.
        const QString file = write(dir, "georoc.csv", georoc);
        ImportPlan again = CsvImport::plan(file.toStdString());
        auto db = d.open();
        CsvImport::findDuplicates(*db, "Project1", again);
        QCOMPARE(again.duplicates, 3L);
        QCOMPARE(again.firstDuplicates, std::vector<std::string>({"K-1", "M-2", "M-3"}));
        long met = 0;
        long long kept = 0;
        QCOMPARE(CsvImport::run(*db, "Project1", again, {}, nullptr, &kept,
                                CsvImport::Duplicates::Skip, &met),
                 0L);
        QCOMPARE(met, 3L);
        QCOMPARE(CsvImport::summary(again, 0, kept, met, CsvImport::Duplicates::Skip),
                 std::string("0 rows imported, 0 values kept, 0 columns left out; 3 samples the "
                             "table held already, left out."));
        const long long before = d.rawCount("SELECT max(ID) FROM Project1");
        QCOMPARE(CsvImport::run(*db, "Project1", again, {}, nullptr, nullptr,
                                CsvImport::Duplicates::Replace),
                 3L);
        QCOMPARE(d.rawCount("SELECT count(*) FROM Project1 WHERE ID > " + std::to_string(before)),
                 3LL);
        QCOMPARE(d.rawCount("SELECT count(*) FROM Project1"), 3LL);
        QCOMPARE(storedValues(d, "K-1"), k1);
        // A changed value is another analysis of the sample, not the same.
        QByteArray changed = georoc;
        changed.replace("46.0,12.5", "46.1,12.5");
        ImportPlan other = CsvImport::plan(write(dir, "changed.csv", changed).toStdString());
        CsvImport::findDuplicates(*db, "Project1", other);
        QCOMPARE(other.duplicates, 3L); // M-2 is known by its identifier still
        changed.replace("124-AB", "125-AB");
        other = CsvImport::plan(write(dir, "changed.csv", changed).toStdString());
        CsvImport::findDuplicates(*db, "Project1", other);
        QCOMPARE(other.duplicates, 2L);
    }

    void headersAsOtherLayoutsWriteThem() {
        TestData d(10);
        QTemporaryDir dir;
        // The method in the header, a reference in parts, a header over two
        // lines; the row takes SiO2 from the method that gave it.
        const ImportPlan plan = importInto(
            d, write(dir, "query.csv",
                     "SAMPLE NAME,SIO2(WT%)[XRF],SIO2(WT%)[ICP-AES],\"TiO2\nwt%\",LA(PPM)[ICP-MS],"
                     "87SR/86SR(I),AUTHORS,YEAR,DOI\n"
                     "Q-1,,49.8,1.2,12.5,0.70412,\"Wu, X.\",2019,10.1000/xyz\n"));
        QCOMPARE(plan.bad, 0L);
        QCOMPARE(rows(d, "[Doziro Sample#] = 'Q-1' AND SiO2 = 49.8 AND TiO2 = 1.2"), 1LL);
        const std::string ref = "Wu, X. (2019). doi:10.1000/xyz";
        const std::vector<engine::SampleValue> q = storedValues(d, "Q-1");
        QCOMPARE(q.size(), 5u); // SiO2, TiO2, La, the ratio, the reference
        QCOMPARE(q[0].analyte, std::string("SiO2"));
        QCOMPARE(q[0].method, std::string("ICP-AES"));
        QCOMPARE(q[0].reference, ref);
        QCOMPARE(q[1].unit, std::string("wt%"));
        QCOMPARE(q[2].method, std::string("ICP-MS"));
        QCOMPARE(q[3].analyte, std::string("(87Sr/86Sr)i"));

        // S in an EarthChem-style file has no unit in its header: never
        // taken as wt%, but its unit column says, row by row.
        const ImportPlan bare =
            CsvImport::plan(write(dir, "s.csv", "SAMPLE ID,SIO2,S\nE-1,50.2,85\n").toStdString());
        QCOMPARE(bare.columns.skipped, std::vector<std::string>({"S"}));
        importInto(
            d, write(dir, "su.csv", "SAMPLE ID,SIO2,S,S_UNIT\nE-1,50.2,85,ppm\nE-2,51,0.2,wt%\n"));
        QCOMPARE(rows(d, "[Doziro Sample#] = 'E-1' AND abs(S - 0.0085) < 1e-12"), 1LL);
        QCOMPARE(rows(d, "[Doziro Sample#] = 'E-2' AND S = 0.2"), 1LL);
        QCOMPARE(storedValues(d, "E-1")[1].unit, std::string("ppm"));
    }

    void samplesOverSeveralRowsAndLabCertificates() {
        TestData d(10);
        QTemporaryDir dir;
        auto v = [](const char* analyte, double value, const char* unit, const char* method,
                    char qualifier = 0) {
            engine::SampleValue s;
            s.analyte = analyte;
            s.value = value;
            s.unit = unit;
            s.method = method;
            s.qualifier = qualifier;
            return s;
        };
        // One value a row, a sample's rows apart: one row per sample.
        const ImportPlan lng = importInto(d, write(dir, "long.csv",
                                                   "SAMPLE,ANALYTE,VALUE,UNIT,METHOD\n"
                                                   "L-1,SiO2,50.5,wt%,XRF\n"
                                                   "L-1,La,12.1,ppm,ICP-MS\n"
                                                   "L-2,SiO2,47.2,wt%,XRF\n"
                                                   "L-1,Cr,350,ppm,ICP-MS\n"
                                                   "L-2,La,<0.5,ppm,ICP-MS\n"));
        QCOMPARE(lng.rows, 2L);
        QVERIFY(described(lng).contains("Written in the long layout: 5 rows"));
        // 350 ppm Cr as Cr2O3: 0.0350 x 151.99/103.99.
        QCOMPARE(rows(d, "[Doziro Sample#] = 'L-1' AND SiO2 = 50.5 AND abs(Cr2O3 - 0.051156) < "
                         "1e-6"),
                 1LL);
        QCOMPARE(storedValues(d, "L-1"),
                 std::vector<engine::SampleValue>({v("SiO2", 50.5, "wt%", "XRF"),
                                                   v("La", 12.1, "ppm", "ICP-MS"),
                                                   v("Cr", 350, "ppm", "ICP-MS")}));
        QCOMPARE(storedValues(d, "L-2")[1], v("La", 0.5, "ppm", "ICP-MS", '<'));

        // A sample's rows by method, as a portal writes them: one sample.
        const ImportPlan byMethod =
            importInto(d, write(dir, "portal.csv",
                                "SAMPLE ID,SOURCE,METHOD,SIO2,MGO,LA (PPM)\n"
                                "EC-1,PETDB,XRF,49.9,8.1,\n"
                                "EC-1,PETDB,ICP-MS,,,14.0\n"
                                "EC-2,PETDB,XRF,51.2,6.5,\n"));
        QCOMPARE(byMethod.rows, 2L);
        QCOMPARE(rows(d, "[Doziro Sample#] = 'EC-1' AND SiO2 = 49.9 AND MgO = 8.1"), 1LL);
        const auto ec1 = storedValues(d, "EC-1");
        QCOMPARE(ec1.size(), 4u); // the source, SiO2, MgO, La
        QCOMPARE(ec1[1], v("SiO2", 49.9, "wt%", "XRF"));
        QCOMPARE(ec1[3], v("La", 14, "ppm", "ICP-MS"));

        // A certificate: units, limits and methods in labelled rows; below
        // and above the range keep their qualifier, neither makes the row bad.
        const ImportPlan cert =
            importInto(d, write(dir, "cert.csv",
                                "Analyte Symbol,SiO2,Al2O3,Cr,La\n"
                                "Unit Symbol,%,%,ppm,ppm\n"
                                "Detection Limit,0.01,0.01,20,0.05\n"
                                "Analysis Method,FUS-ICP,FUS-ICP,FUS-MS,FUS-MS\n"
                                "AC-1,50.12,14.2,< 20,12.3\n"
                                "AC-2,48.7,15.1,350,>1000\n"));
        QCOMPARE(cert.rows, 2L);
        QCOMPARE(cert.bad, 0L);
        QCOMPARE(rows(d, "[Doziro Sample#] = 'AC-1' AND SiO2 = 50.12 AND Cr2O3 IS NULL"), 1LL);
        QCOMPARE(rows(d, "[Doziro Sample#] = 'AC-2' AND abs(Cr2O3 - 0.051156) < 1e-6"), 1LL);
        QCOMPARE(storedValues(d, "AC-1"),
                 std::vector<engine::SampleValue>(
                     {v("SiO2", 50.12, "wt%", "FUS-ICP"), v("Al2O3", 14.2, "wt%", "FUS-ICP"),
                      v("Cr", 20, "ppm", "FUS-MS", '<'), v("La", 12.3, "ppm", "FUS-MS")}));
        QCOMPARE(storedValues(d, "AC-2")[3], v("La", 1000, "ppm", "FUS-MS", '>'));
        // Method codes above the header, the unit and method in a header.
        importInto(d, write(dir, "als.csv",
                            ",ME-XRF26,ME-XRF26,\n"
                            "SAMPLE DESCRIPTION,SiO2,MgO,Cr_ppm_ME-MS81\n"
                            ",%,%,\n"
                            "AL-1,49.5,7.7,<10\n"));
        QCOMPARE(storedValues(d, "AL-1"),
                 std::vector<engine::SampleValue>({v("SiO2", 49.5, "wt%", "ME-XRF26"),
                                                   v("MgO", 7.7, "wt%", "ME-XRF26"),
                                                   v("Cr", 10, "ppm", "ME-MS81", '<')}));
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
    }
};

QTEST_MAIN(TestCompilations)
#include "tst_compilations.moc"
