// The exports of vedris-results on a real SQLite file: the CSV bytes, the spreadsheet read
// back from its zip, and the report page.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <zip.h>

#include <cstdint>
#include <filesystem>
#include <set>

#include "Catalogue.h"
#include "Export.h"
#include "Names.h"
#include "Schema.h"
#include "platform/xml/XmlDocument.h"
#include "support/TempDir.h"

using namespace vedris;
using namespace vedris::results;

namespace {

// Fills a collector's database the way an import does.
class CollectorDb {
public:
    explicit CollectorDb(const std::string& path) {
        EXPECT_EQ(sqlite3_open(path.c_str(), &db_), SQLITE_OK);
        run("PRAGMA synchronous = OFF");
        run(CollectorSchemaSql);
    }
    ~CollectorDb() { sqlite3_close(db_); }
    std::int64_t file(const std::string& label, const std::string& place,
                      const std::string& sender = "") {
        run("INSERT INTO source (path, kind, label, imported_at) VALUES ('/in', 'folder', " +
            quote(label) + ", '2024-06-01T09:00:00')");
        run("INSERT INTO file (source_id, place, sender, origin, sha256) VALUES (" + last() + ", " +
            quote(place) + ", " + quote(sender) + ", " + quote(label + "|" + place) + ", " +
            quote(place + sender) + ")");
        return sqlite3_last_insert_rowid(db_);
    }
    std::int64_t result(std::int64_t file, const std::string& assessment,
                        const std::string& datetime, int superseded = 0) {
        run("INSERT INTO result (file_id, assessment, datetime, superseded) VALUES (" +
            std::to_string(file) + ", " + quote(assessment) + ", " + quote(datetime) + ", " +
            std::to_string(superseded) + ")");
        position_ = 0;
        return sqlite3_last_insert_rowid(db_);
    }
    void response(std::int64_t result, const std::string& item, const std::string& response,
                  const std::vector<std::string>& values) {
        run("INSERT INTO response (result_id, item, response, position, status) VALUES (" +
            std::to_string(result) + ", " + quote(item) + ", " + quote(response) + ", " +
            std::to_string(position_++) + ", '" + (values.empty() ? "NA" : "Valid") + "')");
        std::string id = last();
        for (size_t i = 0; i < values.size(); ++i)
            run("INSERT INTO response_value VALUES (" + id + ", " + std::to_string(i) + ", " +
                quote(values[i]) + ")");
    }

private:
    void run(const std::string& sql) {
        ASSERT_EQ(sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sql;
    }
    std::string last() { return std::to_string(sqlite3_last_insert_rowid(db_)); }
    static std::string quote(const std::string& text) {
        char* quoted = sqlite3_mprintf("%Q", text.c_str());
        std::string out = quoted;
        sqlite3_free(quoted);
        return out;
    }
    sqlite3* db_ = nullptr;
    int position_ = 0;
};

const char* const Qti = R"(<?xml version="1.0" encoding="UTF-8"?>
<questestinterop><assessment ident="A1" title="Анкета: школа"><section ident="S">
<item ident="Q1" title="Клас"><presentation><response_lid ident="K"><render_choice>
<response_label ident="5"><material><mattext>5 клас</mattext></material></response_label>
<response_label ident="6"><material><mattext>6 клас</mattext></material></response_label>
<response_label ident="7"><material><mattext>7 клас</mattext></material></response_label>
</render_choice></response_lid></presentation></item>
<item ident="Q2" title="Думка"><presentation><response_str ident="T"><render_fib rows="1"/>
</response_str></presentation></item></section></assessment></questestinterop>
)";

// Two assessments: A1 with its QTI file (a choice nobody picked among the newest, a
// formula-like answer, a response the file does not know, an older version) and B2 without.
struct Collected {
    test::TempDir dir;
    std::string db = dir.file("region.db");
    ExportOptions options;

    Collected() {
        dir.write("Assessments/anketa.xml", Qti);
        dir.write("Assessments/broken.xml", "<questestinterop><assessment");
        CollectorDb c(db);
        std::int64_t school = c.file("Школа №5", "/in/a/results.xml");
        std::int64_t mail = c.file("", "box.mbox#2: results.xml", "vchytel@example.org");
        std::int64_t r = c.result(school, "A1", "2024-05-01T10:00:00");
        c.response(r, "Q1", "K", {"7"});
        c.response(r, "Q2", "T", {"=1+1"});
        r = c.result(mail, "A1", "2024-05-02T11:30:00");
        c.response(r, "Q1", "K", {"5"});
        c.response(r, "Q2", "T", {});
        c.response(r, "Q3", "X", {"так"});
        r = c.result(school, "A1", "2024-04-01T08:00:00", 1);
        c.response(r, "Q1", "K", {"6"});
        c.response(r, "Q2", "T", {"стара \"версія\""});
        r = c.result(mail, "B2", "");
        c.response(r, "I", "R", {"А", "Б"});
        c.response(r, "I", "TXT", {"<b>Привіт</b> & бувай\x01 _x0041_"});
        options.database = db;
        options.assessmentsFolder = dir.file("Assessments");
    }
};

std::string unzipped(const std::string& archive, const std::string& entry) {
    int error = 0;
    zip_t* zip = zip_open(archive.c_str(), ZIP_RDONLY, &error);
    if (!zip)
        return "";
    std::string out;
    zip_stat_t st;
    if (zip_stat(zip, entry.c_str(), 0, &st) == 0) {
        zip_file_t* file = zip_fopen(zip, entry.c_str(), 0);
        out.resize(st.size);
        out.resize(
            static_cast<size_t>(std::max<zip_int64_t>(0, zip_fread(file, out.data(), st.size))));
        zip_fclose(file);
    }
    zip_close(zip);
    return out;
}

// The text or number of a cell of sheet XML; "<f>" marks a formula, which must never be.
std::string cell(const std::string& sheetXml, const std::string& ref) {
    xml::Document sheet = xml::Document::parse(sheetXml);
    sheet.dropElementNamespaces();
    xml::Node c = sheet.selectFirst(xml::formatXPath("//c[@r = \"%s\"]", {ref}));
    if (!c)
        return "(none)";
    return c.matches("f") ? "<f>" : c.text();
}

} // namespace

TEST(ResultsExport, CsvHasMarkQuotesGuardsFormulasAndEveryChoice) {
    Collected data;
    data.options.csvFolder = data.dir.file("csv");
    ASSERT_EQ(runExport(data.options), 0);
    EXPECT_EQ(
        test::readFile(data.dir.file("csv/A1.csv")),
        "\xEF\xBB\xBF\"Мітка\";\"Джерело\";\"Дата й час\";\"Клас [K]\";\"Клас [K]: 5 клас\";"
        "\"Клас [K]: 6 клас\";\"Клас [K]: 7 клас\";\"Думка [T]\";\"Q3 [X]\";\"Q3 [X]: так\"\r\n"
        "\"Школа №5\";\"/in/a/results.xml\";\"2024-05-01T10:00:00\";\"7\";\"0\";\"0\";\"1\";"
        "\"'=1+1\";\"\";\"\"\r\n"
        "\"\";\"box.mbox#2: results.xml — vchytel@example.org\";\"2024-05-02T11:30:00\";"
        "\"5\";\"1\";\"0\";\"0\";\"\";\"так\";\"1\"\r\n");
    // Without the QTI file, short values without spaces are taken for choices.
    EXPECT_EQ(
        test::readFile(data.dir.file("csv/B2.csv")),
        "\xEF\xBB\xBF\"Мітка\";\"Джерело\";\"Дата й час\";\"I [R]\";\"I [R]: А\";\"I [R]: Б\";"
        "\"I [TXT]\"\r\n"
        "\"\";\"box.mbox#2: results.xml — vchytel@example.org\";\"\";\"А; Б\";\"1\";\"1\";"
        "\"<b>Привіт</b> & бувай\x01 _x0041_\"\r\n");

    data.options.allVersions = true;
    ASSERT_EQ(runExport(data.options), 0);
    std::string all = test::readFile(data.dir.file("csv/A1.csv"));
    EXPECT_NE(all.find("\"Версія\""), std::string::npos);
    EXPECT_NE(all.find("\"попередня\";\"6\";\"0\";\"1\";\"0\";\"стара \"\"версія\"\"\""),
              std::string::npos);
}

TEST(ResultsExport, SpreadsheetReadBackHasSheetsCellsSummaryAndChart) {
    Collected data;
    data.options.xlsx = data.dir.file("region.xlsx");
    ASSERT_EQ(runExport(data.options), 0);
    const std::string book = unzipped(data.options.xlsx, "xl/workbook.xml");
    for (const char* name :
         {"\"Анкета_ школа\"", "\"Підсумок Анкета_ школа\"", "\"B2\"", "\"Підсумок B2\""})
        EXPECT_NE(book.find(name), std::string::npos) << name;

    const std::string results = unzipped(data.options.xlsx, "xl/worksheets/sheet1.xml");
    EXPECT_EQ(cell(results, "G1"), "Клас [K]: 7 клас");
    EXPECT_EQ(cell(results, "A2"), "Школа №5");
    EXPECT_EQ(cell(results, "G2"), "1");
    EXPECT_EQ(cell(results, "H2"), "=1+1");              // a string, not a formula
    EXPECT_EQ(cell(results, "C2"), "45413.41666666666"); // 2024-05-01 10:00 as a date
    EXPECT_EQ(cell(results, "A4"), "(none)");            // the older version is left out

    // Summary: each choice's count, the one nobody picked included, then NA.
    const std::string summary = unzipped(data.options.xlsx, "xl/worksheets/sheet2.xml");
    EXPECT_EQ(cell(summary, "B2"), "2");
    EXPECT_EQ(cell(summary, "D6") + "=" + cell(summary, "E6"), "6 клас=0");
    EXPECT_EQ(cell(summary, "D7") + "=" + cell(summary, "E7") + "/" + cell(summary, "F7"),
              "7 клас=1/0.5");
    EXPECT_EQ(cell(summary, "C8") + "=" + cell(summary, "E8"), "NA=0");
    EXPECT_EQ(cell(summary, "C10") + "=" + cell(summary, "E10"), "=1+1=1");
    // A control character and a text that looks like the format's own escape both survive.
    EXPECT_EQ(cell(unzipped(data.options.xlsx, "xl/worksheets/sheet3.xml"), "G2"),
              "<b>Привіт</b> & бувай_x0001_ _x005F_x0041_");
    EXPECT_NE(unzipped(data.options.xlsx, "xl/charts/chart1.xml")
                  .find("'Підсумок Анкета_ школа'!$D$5:$D$7"),
              std::string::npos);
}

TEST(ResultsExport, ReportIsSelfContainedAndEscaped) {
    Collected data;
    data.options.html = data.dir.file("report.html");
    ASSERT_EQ(runExport(data.options), 0);
    const std::string page = test::readFile(data.options.html);
    for (const char* banned : {"http:", "https:", "<script", "\x01", "<b>Привіт"})
        EXPECT_EQ(page.find(banned), std::string::npos) << banned;
    for (const char* wanted :
         {"<h2>Анкета: школа <small>(A1)</small></h2>", "Результатів: 2. Джерел: 2.", "<svg",
          "7 клас</text>", "1 (50,0 %)", "<li>=1+1</li>", "Без відповіді: 1 із 2 (50,0 %).",
          "<li>&lt;b&gt;Привіт&lt;/b&gt; &amp; бувай _x0041_</li>"})
        EXPECT_NE(page.find(wanted), std::string::npos) << wanted;
}

TEST(ResultsExport, WrongUseAndFailedTargetsAreToldAndLeaveNothingHalfWritten) {
    Collected data;
    ExportOptions none;
    none.database = data.db;
    EXPECT_EQ(runExport(none), 2);
    ExportOptions missing = data.options;
    missing.database = data.dir.file("none.db");
    missing.html = data.dir.file("r.html");
    EXPECT_EQ(runExport(missing), 2);
    missing.database = data.dir.write("text.db", "not a database");
    EXPECT_EQ(runExport(missing), 2);

    // The CSV folder cannot be made (a file is in the way), the spreadsheet's folder is
    // missing: both are told, the report is still written, and no temporary stays.
    data.dir.write("taken", "");
    data.options.csvFolder = data.dir.file("taken/csv");
    data.options.xlsx = data.dir.file("gone/region.xlsx");
    data.options.html = data.dir.file("report.html");
    EXPECT_EQ(runExport(data.options), 1);
    EXPECT_TRUE(std::filesystem::exists(data.options.html));
    for (const auto& entry : std::filesystem::recursive_directory_iterator(data.dir.path()))
        EXPECT_EQ(entry.path().filename().string().find(".tmp-"), std::string::npos);
}

TEST(ResultsExport, UnlistedChoicesGetColumnsAndOverlongAnswersAreCutOnlyInTheSpreadsheet) {
    test::TempDir dir;
    dir.write("Assessments/anketa.xml", Qti);
    const std::string longAnswer(40000, 'x');
    {
        CollectorDb c(dir.file("one.db"));
        std::int64_t r = c.result(c.file("", "/in/results.xml"), "A1", "2024-05-01T10:00:00");
        c.response(r, "Q1", "K", {"8"});
        c.response(r, "Q2", "T", {longAnswer});
    }
    ExportOptions options;
    options.database = dir.file("one.db");
    options.assessmentsFolder = dir.file("Assessments");
    options.xlsx = dir.file("one.xlsx");
    options.csvFolder = dir.file("csv");
    ASSERT_EQ(runExport(options), 0);
    const std::string sheet = unzipped(options.xlsx, "xl/worksheets/sheet1.xml");
    EXPECT_EQ(cell(sheet, "H1") + "=" + cell(sheet, "H2"), "Клас [K]: 8=1");
    // Excel holds 32,767 characters in a cell: the rest is cut, with a mark of 12 of them.
    EXPECT_EQ(cell(sheet, "I2"), std::string(32767 - 12, 'x') + "… [обрізано]");
    EXPECT_NE(test::readFile(dir.file("csv/A1.csv")).find("\"" + longAnswer + "\"\r\n"),
              std::string::npos);
}

TEST(ResultsExport, EmptyDatabaseGivesValidFilesThatSaySo) {
    test::TempDir dir;
    { CollectorDb empty(dir.file("empty.db")); }
    ExportOptions options;
    options.database = dir.file("empty.db");
    options.xlsx = dir.file("e.xlsx");
    options.html = dir.file("e.html");
    ASSERT_EQ(runExport(options), 0);
    EXPECT_EQ(cell(unzipped(options.xlsx, "xl/worksheets/sheet1.xml"), "A1"),
              "У базі немає результатів.");
    EXPECT_NE(test::readFile(options.html).find("У базі немає результатів."), std::string::npos);
}

TEST(ResultsExport, SheetAndFileNamesAreValidShortAndUnique) {
    std::set<std::string> sheets;
    const std::string longTitle = "Анкета для батьків учнів початкової школи: харчування";
    EXPECT_EQ(uniqueSheetName(longTitle, sheets), "Анкета для батьків учнів початк");
    EXPECT_EQ(uniqueSheetName("АНКЕТА ДЛЯ БАТЬКІВ УЧНІВ ПОЧАТКОВОЇ", sheets),
              "АНКЕТА ДЛЯ БАТЬКІВ УЧНІВ ПО (2)");
    EXPECT_EQ(uniqueSheetName("'[a/b]?'", sheets), "_a_b__");
    std::set<std::string> files;
    EXPECT_EQ(uniqueFileName("../A:1", ".csv", files), "_.._A_1.csv");
    EXPECT_EQ(uniqueFileName("a", ".csv", files), "a.csv");
    EXPECT_EQ(uniqueFileName("A", ".csv", files), "A (2).csv");
}

TEST(ResultsExport, DemoQtiFilesGiveTitlesOrderAndChoices) {
    std::vector<std::string> warnings;
    Catalogue catalogue = readCatalogue(VEDRIS_SOURCE_DIR "/demo/Assessments", warnings);
    EXPECT_TRUE(warnings.empty());
    ASSERT_TRUE(catalogue.count("SHKOLA-ANKETA-01"));
    const auto& responses = catalogue["SHKOLA-ANKETA-01"].responses;
    ASSERT_GE(responses.size(), 7u);
    EXPECT_EQ(responses[0].itemTitle + "/" + responses[0].response, "Клас/KLAS");
    EXPECT_TRUE(responses[0].choice);
    ASSERT_EQ(responses[0].options.size(), 7u);
    EXPECT_EQ(responses[0].options[0].value + "=" + responses[0].options[0].text, "5=5 клас");
    EXPECT_FALSE(responses[1].choice); // a text field
}
