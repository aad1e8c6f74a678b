// Compilations, lab certificates and the long layout as they come:
// every value of the file kept beside the table as its source reported it
// (analyte, unit, method, qualifier, reference), our columns fed row by
// row, and a sample the table holds already recognised. Each stored value
// is checked against the file's meaning, written out here.
#include "exchange/CsvImport.h"
#include "platform/db/Database.h"
#include "support/TestData.h"

#include <QtTest>

#include <algorithm>

namespace {

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

class TestReported : public QObject {
    Q_OBJECT
private slots:
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
};

QTEST_MAIN(TestReported)
#include "tst_reported.moc"
