// Workbook import (.xlsx and .ods), from workbooks written here: sheets,
// styles and dates read as the table keeps them; rows and cells repeated
// come as that many; a damaged or hostile workbook is refused with its
// cause and the cell named, and reading one never takes much memory, which
// is measured in a child process for each.
#include "exchange/CsvImport.h"
#include "exchange/CsvSource.h"
#include "exchange/WorkbookReader.h"
#include "support/TestData.h"

#include <QtTest>

#include <zip.h>

#include <array>
#include <fstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// A zip of the parts given, in their order, the first stored uncompressed
// (an .ods's mimetype must be).
using Parts = std::vector<std::pair<std::string, std::string>>;
void writeZip(const QString& path, const Parts& parts) {
    int error = 0;
    zip_t* z = zip_open(path.toUtf8().constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    QVERIFY(z);
    for (std::size_t i = 0; i < parts.size(); ++i) {
        zip_source_t* src = zip_source_buffer(z, parts[i].second.data(), parts[i].second.size(), 0);
        const zip_int64_t at = zip_file_add(z, parts[i].first.c_str(), src, ZIP_FL_ENC_UTF_8);
        QVERIFY(at >= 0);
        if (i == 0)
            zip_set_file_compression(z, static_cast<zip_uint64_t>(at), ZIP_CM_STORE, 0);
    }
    QCOMPARE(zip_close(z), 0);
}

const char* kXmlHead = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
const char* kMain = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
const char* kRel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";

std::string inlineCell(const char* ref, const char* text) {
    return std::string("<c r=\"") + ref + "\" t=\"inlineStr\"><is><t>" + text + "</t></is></c>";
}
std::string numberCell(const char* ref, const std::string& value, int style = 0) {
    return std::string("<c r=\"") + ref + "\"" +
           (style ? " s=\"" + std::to_string(style) + "\"" : std::string()) + "><v>" + value +
           "</v></c>";
}

// An .xlsx as a spreadsheet program leaves it after its sheets were moved:
// "Data" first, kept in sheet2.xml; "Notes" second, in sheet1.xml. Its
// styles: 1 a date and time, 2 the built-in h:mm, 3 the built-in date, 4
// hh:mm:ss. serials: the Date column of rows 2 to 4.
Parts movedSheets(const std::string& workbookPr, const std::string serials[3]) {
    const std::string ws = std::string(kXmlHead) + "<worksheet xmlns=\"" + kMain + "\" xmlns:r=\"" +
                           kRel + "\"><sheetData>";
    const std::string data =
        ws + "<row r=\"1\">" + inlineCell("A1", "Rockname") + inlineCell("B1", "Date") +
        inlineCell("C1", "Location") + inlineCell("D1", "SiO2") + "</row><row r=\"2\">" +
        inlineCell("A2", "Basalt") + numberCell("B2", serials[0], 1) +
        numberCell("C2", "0.604166666666667", 2) + numberCell("D2", "40.2") +
        "</row><row r=\"3\">" + inlineCell("A3", "Dacite") + numberCell("B3", serials[1], 3) +
        numberCell("C3", "0.6041782407407408", 4) + numberCell("D3", "65") + "</row><row r=\"4\">" +
        inlineCell("A4", "Andesite") + numberCell("B4", serials[2]) + numberCell("D4", "58") +
        "</row></sheetData></worksheet>";
    const std::string notes = ws + "<row r=\"1\">" + inlineCell("A1", "Analysed at the lab") +
                              "</row></sheetData></worksheet>";
    return {
        {"[Content_Types].xml",
         std::string(kXmlHead) +
             "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
             "<Default Extension=\"rels\" "
             "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
             "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
             "<Override PartName=\"/xl/workbook.xml\" ContentType=\"application/"
             "vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>"
             "</Types>"},
        {"_rels/.rels",
         std::string(kXmlHead) +
             "<Relationships "
             "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
             "<Relationship Id=\"rId1\" Type=\"" +
             kRel + "/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>"},
        {"xl/workbook.xml", std::string(kXmlHead) + "<workbook xmlns=\"" + kMain + "\" xmlns:r=\"" +
                                kRel + "\">" + workbookPr +
                                "<sheets><sheet name=\"Data\" sheetId=\"2\" r:id=\"rId2\"/>"
                                "<sheet name=\"Notes\" sheetId=\"1\" r:id=\"rId1\"/></sheets>"
                                "</workbook>"},
        {"xl/_rels/workbook.xml.rels",
         std::string(kXmlHead) +
             "<Relationships "
             "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
             "<Relationship Id=\"rId3\" Type=\"" +
             kRel + "/styles\" Target=\"styles.xml\"/><Relationship Id=\"rId1\" Type=\"" + kRel +
             "/worksheet\" Target=\"worksheets/sheet1.xml\"/><Relationship Id=\"rId2\" Type=\"" +
             kRel + "/worksheet\" Target=\"worksheets/sheet2.xml\"/></Relationships>"},
        {"xl/styles.xml",
         std::string(kXmlHead) + "<styleSheet xmlns=\"" + kMain +
             "\"><numFmts count=\"2\"><numFmt numFmtId=\"164\" formatCode=\"yyyy\\-mm\\-dd\\ "
             "hh:mm\"/><numFmt numFmtId=\"165\" formatCode=\"hh:mm:ss\"/></numFmts>"
             "<cellXfs count=\"5\"><xf numFmtId=\"0\" xfId=\"0\"/>"
             "<xf numFmtId=\"164\" xfId=\"0\" applyNumberFormat=\"1\"/>"
             "<xf numFmtId=\"20\" xfId=\"0\" applyNumberFormat=\"1\"/>"
             "<xf numFmtId=\"14\" xfId=\"0\" applyNumberFormat=\"1\"/>"
             "<xf numFmtId=\"165\" xfId=\"0\" applyNumberFormat=\"1\"/></cellXfs></styleSheet>"},
        {"xl/worksheets/sheet1.xml", notes},
        {"xl/worksheets/sheet2.xml", data},
    };
}

// An .ods as LibreOffice writes it: number and date styles in styles.xml
// and content.xml, cells and columns using them, its own null date.
Parts formattedOds(const std::string& content) {
    const std::string ns =
        "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
        "xmlns:style=\"urn:oasis:names:tc:opendocument:xmlns:style:1.0\" "
        "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" "
        "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
        "xmlns:fo=\"urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0\" "
        "xmlns:number=\"urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0\" "
        "office:version=\"1.3\"";
    const std::string styles =
        std::string(kXmlHead) + "<office:document-styles " + ns +
        "><office:styles><number:number-style style:name=\"N0\"><number:number "
        "number:min-integer-digits=\"1\"/></number:number-style><number:date-style "
        "style:name=\"N36\" number:automatic-order=\"true\"><number:day "
        "number:style=\"long\"/><number:text>.</number:text><number:month "
        "number:style=\"long\"/><number:text>.</number:text><number:year "
        "number:style=\"long\"/></number:date-style><style:style style:name=\"Default\" "
        "style:family=\"table-cell\"/><style:style style:name=\"Datum\" "
        "style:family=\"table-cell\" style:parent-style-name=\"Default\" "
        "style:data-style-name=\"N36\"/></office:styles></office:document-styles>";
    return {
        {"mimetype", "application/vnd.oasis.opendocument.spreadsheet"},
        {"content.xml", std::string(kXmlHead) + "<office:document-content " + ns + ">" + content +
                            "</office:document-content>"},
        {"styles.xml", styles},
        {"META-INF/manifest.xml",
         std::string(kXmlHead) +
             "<manifest:manifest "
             "xmlns:manifest=\"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0\" "
             "manifest:version=\"1.3\"><manifest:file-entry manifest:full-path=\"/\" "
             "manifest:version=\"1.3\" "
             "manifest:media-type=\"application/vnd.oasis.opendocument.spreadsheet\"/>"
             "<manifest:file-entry manifest:full-path=\"content.xml\" "
             "manifest:media-type=\"text/xml\"/><manifest:file-entry "
             "manifest:full-path=\"styles.xml\" manifest:media-type=\"text/xml\"/>"
             "</manifest:manifest>"},
    };
}

const char* kOdsContent =
    "<office:automatic-styles>"
    "<number:number-style style:name=\"N2\"><number:number number:decimal-places=\"2\" "
    "number:min-decimal-places=\"2\" number:min-integer-digits=\"1\"/></number:number-style>"
    "<number:date-style style:name=\"N50\"><number:day number:style=\"long\"/><number:text>."
    "</number:text><number:month number:style=\"long\"/><number:text>.</number:text>"
    "<number:year number:style=\"long\"/><number:text> </number:text><number:hours "
    "number:style=\"long\"/><number:text>:</number:text><number:minutes "
    "number:style=\"long\"/></number:date-style>"
    "<style:style style:name=\"ce1\" style:family=\"table-cell\" "
    "style:parent-style-name=\"Default\" style:data-style-name=\"N50\"/>"
    "<style:style style:name=\"ce2\" style:family=\"table-cell\" "
    "style:parent-style-name=\"Default\" style:data-style-name=\"N2\"/>"
    "<style:style style:name=\"ce3\" style:family=\"table-cell\" "
    "style:parent-style-name=\"Datum\"/>"
    "</office:automatic-styles><office:body><office:spreadsheet>"
    "<table:calculation-settings><table:null-date table:date-value=\"1904-01-01\"/>"
    "</table:calculation-settings>"
    "<table:table table:name=\"Analyses\">"
    "<table:table-column table:number-columns-repeated=\"3\" "
    "table:default-cell-style-name=\"Default\"/>"
    "<table:table-row><table:table-cell office:value-type=\"string\" "
    "><text:p>Rockname</text:p></table:table-cell><table:table-cell "
    "office:value-type=\"string\"><text:p>Date</text:p></table:table-cell><table:table-cell "
    "office:value-type=\"string\"><text:p>SiO2</text:p></table:table-cell></table:table-row>"
    "<table:table-row><table:table-cell office:value-type=\"string\">"
    "<text:p>Basalt</text:p></table:table-cell><table:table-cell table:style-name=\"ce1\" "
    "office:value-type=\"date\" office:date-value=\"2019-05-06T14:30:00\"><text:p>06.05.2019 "
    "14:30</text:p></table:table-cell><table:table-cell table:style-name=\"ce2\" "
    "office:value-type=\"float\" office:value=\"49.25\"><text:p>49.25</text:p>"
    "</table:table-cell></table:table-row>"
    "<table:table-row><table:table-cell office:value-type=\"string\">"
    "<text:p>Dacite</text:p></table:table-cell><table:table-cell table:style-name=\"ce3\" "
    "office:value-type=\"date\" office:date-value=\"2019-05-07\"><text:p>07.05.2019</text:p>"
    "</table:table-cell><table:table-cell office:value-type=\"float\" office:value=\"65\">"
    "<text:p>65</text:p></table:table-cell></table:table-row>"
    "</table:table></office:spreadsheet></office:body>";

using Rows = std::vector<std::vector<std::string>>;

// An .xlsx of one sheet, "Data", with these rows (<row> elements) and,
// when given, these shared texts.
Parts oneSheet(const std::string& rows, const std::vector<std::string>& strings = {}) {
    Parts parts = movedSheets("", std::array<std::string, 3>{"1", "2", "3"}.data());
    const std::string ws = std::string(kXmlHead) + "<worksheet xmlns=\"" + kMain + "\">";
    parts[2].second = std::string(kXmlHead) + "<workbook xmlns=\"" + kMain + "\" xmlns:r=\"" +
                      kRel + "\"><sheets><sheet name=\"Data\" sheetId=\"1\" r:id=\"rId2\"/>" +
                      "</sheets></workbook>";
    parts[6].second = ws + "<sheetData>" + rows + "</sheetData></worksheet>";
    if (!strings.empty()) {
        std::string sst = std::string(kXmlHead) + "<sst xmlns=\"" + kMain + "\">";
        for (const std::string& s : strings)
            sst += "<si><t>" + s + "</t></si>";
        parts.push_back({"xl/sharedStrings.xml", sst + "</sst>"});
        std::string& rels = parts[3].second;
        rels.insert(rels.find("</Relationships>"),
                    "<Relationship Id=\"rId4\" Type=\"" + std::string(kRel) +
                        "/sharedStrings\" Target=\"sharedStrings.xml\"/>");
    }
    return parts;
}

// An .ods of one sheet, "Survey", with these rows (<table:table-row>s).
Parts odsSheet(const std::string& rows) {
    return formattedOds("<office:body><office:spreadsheet><table:table table:name=\"Survey\">" +
                        rows + "</table:table></office:spreadsheet></office:body>");
}
std::string odsText(const std::string& text, const std::string& more = "") {
    return "<table:table-cell office:value-type=\"string\"" + more + "><text:p>" + text +
           "</text:p></table:table-cell>";
}
std::string odsNumber(const std::string& value, const std::string& more = "") {
    return "<table:table-cell office:value-type=\"float\" office:value=\"" + value + "\"" + more +
           "><text:p>" + value + "</text:p></table:table-cell>";
}
std::string odsRow(const std::string& cells, const std::string& more = "") {
    return "<table:table-row" + more + ">" + cells + "</table:table-row>";
}
const std::string kEmptyCells = "<table:table-cell table:number-columns-repeated=\"";

// What reading the workbook gives, in a child process of its own: the
// refusal's text, or "rows N, last row's width W, its last cell C"; and how
// much the child's peak memory rose while it read. The child may use no
// more than a gigabyte more, so that a fault shows as a refusal here rather
// than as a machine out of memory.
struct Outcome {
    QString said;
    long moreKiB = -1;
};
long peakKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}
Outcome readApart(const QString& path) {
    int fds[2];
    if (pipe(fds) != 0)
        return {"no pipe", -1};
    long pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        const rlim_t limit = static_cast<rlim_t>(pages) * sysconf(_SC_PAGESIZE) + (1L << 30);
        const rlimit bound{limit, limit};
        setrlimit(RLIMIT_AS, &bound);
        const long before = peakKiB();
        std::string said;
        try {
            const auto sheets = WorkbookReader::read(path.toStdString());
            const Rows& rows = sheets.at(0).rows;
            said = "rows " + std::to_string(rows.size()) + ", last row's width " +
                   std::to_string(rows.back().size()) + ", its last cell " + rows.back().back();
        } catch (const std::exception& e) {
            said = e.what();
        }
        said = std::to_string(peakKiB() - before) + "\n" + said;
        (void)!::write(fds[1], said.data(), said.size());
        _exit(0);
    }
    close(fds[1]);
    QByteArray said;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;)
        said.append(buffer, n);
    close(fds[0]);
    waitpid(child, nullptr, 0);
    const qsizetype line = said.indexOf('\n');
    if (line < 0)
        return {"the child said nothing", -1};
    return {QString::fromUtf8(said.mid(line + 1)), said.left(line).toLong()};
}

} // namespace

class TestWorkbook : public QObject {
    Q_OBJECT
private slots:
    // Styles with number and date formats (every sheet LibreOffice saves)
    // are read; a damaged workbook is refused with its cause, never a crash.
    void formattedOdsIsRead() {
        QTemporaryDir dir;
        const QString ods = dir.filePath("survey.ods");
        writeZip(ods, formattedOds(kOdsContent));
        const auto sheets = WorkbookReader::read(ods.toStdString());
        QCOMPARE(sheets.size(), std::size_t(1));
        QCOMPARE(sheets[0].name, std::string("Analyses"));
        QCOMPARE(sheets[0].rows, Rows({{"Rockname", "Date", "SiO2"},
                                       {"Basalt", "2019-05-06 14:30", "49.25"},
                                       {"Dacite", "2019-05-07", "65"}}));
        QCOMPARE(std::vector<int>(sheets[0].origin, sheets[0].origin + 3),
                 std::vector<int>({1904, 1, 1}));

        const std::string content = kOdsContent;
        const QString cut = dir.filePath("cut.ods");
        writeZip(cut, formattedOds(content.substr(0, content.size() / 2)));
        Parts noWorkbook = movedSheets("", std::array<std::string, 3>{"1", "2", "3"}.data());
        noWorkbook.erase(noWorkbook.begin() + 2);
        const QString headless = dir.filePath("headless.xlsx");
        writeZip(headless, noWorkbook);
        // Archives cut short anywhere, as an interrupted copy leaves them.
        QStringList bad = {cut, headless};
        const QString whole = dir.filePath("whole.xlsx");
        writeZip(whole, movedSheets("", std::array<std::string, 3>{"1", "2", "3"}.data()));
        for (const QString& book : {whole, ods}) {
            QFile file(book);
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray bytes = file.readAll();
            for (int eighth = 1; eighth < 8; ++eighth)
                bad << write(dir, QString("short%1.%2").arg(eighth).arg(QFileInfo(book).suffix()),
                             bytes.left(bytes.size() * eighth / 8));
        }
        for (const QString& path : bad) {
            try {
                WorkbookReader::read(path.toStdString());
                QFAIL(qPrintable("read a damaged workbook: " + path));
            } catch (const CsvError& e) {
                QCOMPARE(e.code(), CsvError::Code::Unreadable);
                const QString said = e.what(), cannot = "Cannot read the workbook '" + path + "': ";
                QVERIFY2(said.startsWith(cannot) && said.mid(cannot.size()).trimmed().size() > 10,
                         e.what());
            }
        }
    }

    // Each sheet is read from the part its workbook names, not by its place.
    void sheetsAreTheOnesTheWorkbookNames() {
        QTemporaryDir dir;
        const QString xlsx = dir.filePath("moved.xlsx");
        const std::string serials[3] = {"43591", "43591", "43592"};
        writeZip(xlsx, movedSheets("", serials));
        const auto sheets = WorkbookReader::read(xlsx.toStdString());
        QCOMPARE(sheets.size(), std::size_t(2));
        QCOMPARE(sheets[0].name, std::string("Data"));
        QCOMPARE(sheets[0].rows[0],
                 std::vector<std::string>({"Rockname", "Date", "Location", "SiO2"}));
        QCOMPARE(sheets[0].rows[3], std::vector<std::string>({"Andesite", "43592", "", "58"}));
        QCOMPARE(sheets[1].name, std::string("Notes"));
        QCOMPARE(sheets[1].rows, Rows({{"Analysed at the lab"}}));
        const auto listed = CsvImport::read(xlsx.toStdString());
        QVERIFY(std::holds_alternative<SheetList>(listed));
        QCOMPARE(std::get<SheetList>(listed).names, std::vector<std::string>({"Data", "Notes"}));
    }

    // A workbook counting its serials from 1904-01-01 says so in its
    // workbookPr, as "1" or as "true"; one that says "0" counts from 1899.
    void workbookDateOrigins() {
        QTemporaryDir dir;
        const std::string from1904[3] = {"42129.604166666664", "42129", "42130"};
        const std::string from1899[3] = {"43591.604166666664", "43591", "43592"};
        const struct {
            std::string pr;
            const std::string* serials;
            int originYear;
        } books[] = {
            {"<workbookPr date1904=\"1\"/>", from1904, 1904},
            {"<workbookPr date1904=\"true\" defaultThemeVersion=\"124226\"/>", from1904, 1904},
            {"<workbookPr date1904=\"0\"/>", from1899, 1899}};
        TestData d(10);
        for (const auto& book : books) {
            const QString xlsx = dir.filePath("origin.xlsx");
            writeZip(xlsx, movedSheets(book.pr, book.serials));
            const auto sheets = WorkbookReader::read(xlsx.toStdString());
            QCOMPARE(sheets[0].origin[0], book.originYear);
            QCOMPARE(sheets[0].rows[1][1], std::string("2019-05-06 14:30"));
            QCOMPARE(sheets[0].rows[2][1], std::string("2019-05-06"));
            // A serial without a date format, in the Date column: the same origin.
            d.rawExec("DELETE FROM Project1");
            const ImportPlan plan = CsvImport::plan(xlsx.toStdString(), nullptr, {}, "Data");
            auto db = d.open();
            QCOMPARE(CsvImport::run(*db, "Project1", plan), 3L);
            QCOMPARE(d.rawCount("SELECT count(*) FROM Project1 WHERE Rockname = 'Andesite' AND "
                                "Date = '2019-05-07'"),
                     1LL);
        }
    }

    // A serial with a time of day is stored as the date and its time (the
    // seconds when there are any), one with a time format as the time.
    void datesWithTimesOfDay() {
        QTemporaryDir dir;
        const QString xlsx = dir.filePath("times.xlsx");
        // Andesite's has no format: in the Date column its fraction is its time.
        const std::string serials[3] = {"43591.604166666664", "43591", "43591.75"};
        writeZip(xlsx, movedSheets("", serials));
        const auto sheets = WorkbookReader::read(xlsx.toStdString());
        QCOMPARE(sheets[0].rows[1],
                 std::vector<std::string>({"Basalt", "2019-05-06 14:30", "14:30", "40.2"}));
        QCOMPARE(sheets[0].rows[2],
                 std::vector<std::string>({"Dacite", "2019-05-06", "14:30:01", "65"}));
        TestData d(10);
        d.rawExec("DELETE FROM Project1");
        const ImportPlan plan = CsvImport::plan(xlsx.toStdString(), nullptr, {}, "Data");
        QCOMPARE(plan.datesKept, 0L);
        auto db = d.open();
        QCOMPARE(CsvImport::run(*db, "Project1", plan), 3L);
        QCOMPARE(d.rawCount("SELECT count(*) FROM Project1 WHERE (Rockname = 'Basalt' AND Date = "
                            "'2019-05-06 14:30' AND Location = '14:30' AND SiO2 = 40.2) OR "
                            "(Rockname = 'Dacite' AND Date = '2019-05-06' AND Location = "
                            "'14:30:01') OR (Rockname = 'Andesite' AND Date = '2019-05-06 18:00')"),
                 3LL);
    }

    // A row repeated with its values comes as that many rows, a cell
    // repeated as that many cells; repeated empty ones, however many, only
    // move the place on. Text is read with its spaces and paragraphs, not
    // with the comment on it.
    void repeatedRowsAndCells() {
        QTemporaryDir dir;
        const QString ods = dir.filePath("repeated.ods");
        writeZip(
            ods,
            odsSheet(odsRow(odsText("Rockname") + odsText("SiO2") + odsText("Na2O") +
                            odsText("Location")) +
                     odsRow(odsText("Basalt") + odsNumber("49.5") +
                                odsNumber("3.25", " table:number-columns-repeated=\"2\""),
                            " table:number-rows-repeated=\"3\"") +
                     odsRow(odsText("Dacite") + kEmptyCells + "2\"/>" +
                            "<table:table-cell office:value-type=\"string\"><office:annotation>"
                            "<text:p>checked</text:p></office:annotation><text:p>Lake<text:s "
                            "text:c=\"2\"/>shore</text:p><text:p>north</text:p>"
                            "</table:table-cell>") +
                     odsRow(kEmptyCells + "1024\"/>", " table:number-rows-repeated=\"1048570\"")));
        const auto sheets = WorkbookReader::read(ods.toStdString());
        QCOMPARE(sheets.size(), std::size_t(1));
        QCOMPARE(sheets[0].rows, Rows({{"Rockname", "SiO2", "Na2O", "Location"},
                                       {"Basalt", "49.5", "3.25", "3.25"},
                                       {"Basalt", "49.5", "3.25", "3.25"},
                                       {"Basalt", "49.5", "3.25", "3.25"},
                                       {"Dacite", "", "", "Lake  shore\nnorth"}}));
        QCOMPARE(CsvImport::plan(ods.toStdString()).rows, 4L);
    }

    // Workbooks of a few kilobytes that name cells far off, repeat cells
    // without end or refer to what is not there: each refused with the
    // cell named, or read when it fits, never with much memory.
    void hostileWorkbooks() {
        QTemporaryDir dir;
        std::string sparse;
        for (int r = 1; r <= 5000; ++r) {
            const std::string n = std::to_string(r);
            sparse += "<row r=\"" + n + "\">" + numberCell(("A" + n).c_str(), "1") +
                      numberCell(("XFD" + n).c_str(), "2") + "</row>";
        }
        std::string shared, spaced;
        for (int r = 1; r <= 3000; ++r)
            shared += "<row r=\"" + std::to_string(r) + "\"><c r=\"A" + std::to_string(r) +
                      "\" t=\"s\"><v>0</v></c></row>";
        for (int s = 0; s < 2000; ++s)
            spaced += "<text:s text:c=\"65536\"/>";
        std::string pastTheEnd;
        for (int c = 0; c < 16385; ++c)
            pastTheEnd += "<c><v>1</v></c>";
        const struct {
            const char* file;
            Parts parts;
            const char* said;
        } books[] = {
            {"column.xlsx", oneSheet("<row r=\"1\">" + numberCell("XFE1", "1") + "</row>"),
             "cell XFE1 is beyond the last column (XFD), in sheet 'Data'."},
            {"row.xlsx", oneSheet("<row r=\"4294967297\">" + numberCell("A1", "1") + "</row>"),
             "row 4294967297 is beyond the last row (1048576)"},
            {"cell.xlsx", oneSheet("<row>" + numberCell("A2147483649", "1") + "</row>"),
             "cell A2147483649 is beyond the last row (1048576)"},
            {"unnamed.xlsx", oneSheet("<row r=\"1\">" + pastTheEnd + "</row>"),
             "cell XFE1 is beyond the last column (XFD)"},
            {"strings.xlsx",
             oneSheet("<row r=\"1\"><c r=\"A1\" t=\"s\"><v>1</v></c></row><row r=\"2\">" +
                          numberCell("A2", "5") + "<c r=\"B2\" t=\"s\"><v>999</v></c></row>",
                      {"SiO2", "Na2O"}),
             "cell B2 refers to shared text 999, but the workbook has 2"},
            {"shared.xlsx", oneSheet(shared, {std::string(60000, 'x')}),
             "takes the sheet's text past"},
            {"spaces.ods", odsSheet(odsRow(odsText(spaced))), "cell A1 spaces its text out past"},
            {"sparse.xlsx", oneSheet(sparse), "cell XFD1 of sheet 'Data' lies far outside"},
            {"corner.xlsx",
             oneSheet("<row r=\"1\">" + numberCell("A1", "1") + "</row><row r=\"1048576\">" +
                      numberCell("XFD1048576", "2") + "</row>"),
             "rows 1048576, last row's width 16384, its last cell 2"},
            {"columns.ods",
             odsSheet(odsRow(odsText("Basalt") + kEmptyCells + "2000000000\"/>" + odsNumber("1"))),
             "cell FLHOMVZ1 is beyond the last column (XFD), in sheet 'Survey'."},
            {"rows.ods",
             odsSheet(odsRow(odsText("SiO2")) +
                      odsRow(odsNumber("49"), " table:number-rows-repeated=\"2000000000\"")),
             "cell A1048577 is beyond the last row (1048576)"},
            {"copies.ods",
             odsSheet(odsRow(odsNumber("49", " table:number-columns-repeated=\"16384\""),
                             " table:number-rows-repeated=\"1000\"")),
             "sheet 'Survey' repeats its row 1 into more than 1048576 cells"},
            {"empty.ods",
             odsSheet(odsRow(odsText("SiO2") + kEmptyCells + "2000000000\"/>") +
                      odsRow(kEmptyCells + "2000000000\"/>",
                             " table:number-rows-repeated=\"2000000000\"")),
             "rows 1, last row's width 1, its last cell SiO2"},
        };
        for (const auto& book : books) {
            const QString path = dir.filePath(book.file);
            writeZip(path, book.parts);
            QVERIFY(QFileInfo(path).size() < 64 * 1024);
            const Outcome read = readApart(path);
            QVERIFY2(read.said.contains(book.said), qPrintable(book.file + (": " + read.said)));
            QVERIFY2(read.moreKiB >= 0 && read.moreKiB < 200 * 1024,
                     qPrintable(QString("%1: %2 KiB").arg(book.file).arg(read.moreKiB)));
        }
    }
};

QTEST_MAIN(TestWorkbook)
#include "tst_workbook.moc"
