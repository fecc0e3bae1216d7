// vedris-results import, store and merge, on real parts: results files written by the
// client's own storage from the demo assessment, mail built with GMime, archives built with
// libzip, and a real SQLite file read back with plain SQL.
#include <gtest/gtest.h>

#include <gmime/gmime.h>
#include <memory>
#include <regex>
#include <sstream>
#include <zip.h>

#include "Database.h"
#include "Importer.h"
#include "Merge.h"
#include "QTIDomain/uStorageManager.h"
#include "platform/html/MemoryFormDocument.h"
#include "settings/uRegistry.h"
#include "support/TempDir.h"

using namespace vedris;
using namespace vedris::results;
using vedris::test::readFile;
using vedris::test::TempDir;

namespace {

struct Unref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
template <typename T> using Ref = std::unique_ptr<T, Unref>;

// results.xml of the demo feedback assessment as the client saves it after a submission.
std::string clientResults(const std::string& rating, const std::vector<std::string>& liked,
                          const std::string& remark) {
    TempDir dir;
    const std::string demo = VEDRIS_SOURCE_DIR "/demo/Assessments/";
    dir.write("vedris.ini", "[General]\nClientAssessments=vidhuk\n");
    dir.write("Assessments/ims_qtiasi2res.xslt", readFile(demo + "ims_qtiasi2res.xslt"));
    std::string assessment = dir.write("Assessments/vidhuk.xml", readFile(demo + "vidhuk.xml"));
    dir.write("Results/results.xml",
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<qti_result_report/>\n");
    CreateClientRegistry(dir.file("vedris.ini"));
    {
        html::MemoryFormDocument form;
        for (const char* v : {"1", "2", "3", "4", "5"})
            form.addInput("V01.OTSINKA", "radio", v, rating == v);
        for (const char* v : {"lektsii", "praktyka", "materialy"})
            form.addInput("V02.SPODOBALOSIA", "checkbox", v,
                          std::find(liked.begin(), liked.end(), v) != liked.end());
        form.addTextArea("V06.POKRASHCHYTY", remark);
        TStorageManager manager(assessment, dir.file("Results/results.xml"), &form);
        EXPECT_TRUE(manager.SubmitResponses());
    }
    DestroyClientRegistry();
    return readFile(dir.file("Results/results.xml"));
}

std::string withDatetime(const std::string& results, const std::string& datetime) {
    return std::regex_replace(results, std::regex("<datetime>[^<]*</datetime>"),
                              "<datetime>" + datetime + "</datetime>");
}

void writeZip(const std::string& path,
              const std::vector<std::pair<std::string, std::string>>& entries) {
    int code = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    ASSERT_NE(archive, nullptr);
    for (const auto& [name, bytes] : entries) {
        zip_source_t* source = zip_source_buffer(archive, bytes.data(), bytes.size(), 0);
        ASSERT_GE(zip_file_add(archive, name.c_str(), source, ZIP_FL_ENC_UTF_8), 0);
    }
    ASSERT_EQ(zip_close(archive), 0);
}

struct Attachment {
    std::string name, bytes;
    GMimeContentEncoding encoding = GMIME_CONTENT_ENCODING_BASE64;
};

// One message as a mail client writes it: a text body and the attachments. rfc2047 writes the
// file names as encoded words instead of RFC 2231 parameters.
std::string mail(const std::string& from, const std::string& subject,
                 const std::vector<Attachment>& attachments, bool rfc2047 = false) {
    g_mime_init();
    Ref<GMimeMessage> message(g_mime_message_new(TRUE));
    g_mime_message_add_mailbox(message.get(), GMIME_ADDRESS_TYPE_FROM, "Школа", from.c_str());
    g_mime_message_add_mailbox(message.get(), GMIME_ADDRESS_TYPE_TO, "Регіональна робоча група",
                               "rrg@example.org");
    g_mime_message_set_subject(message.get(), subject.c_str(), "utf-8");
    GDateTime* date = g_date_time_new_utc(2026, 12, 7, 9, 30, 0);
    g_mime_message_set_date(message.get(), date);
    g_date_time_unref(date);
    Ref<GMimeMultipart> mixed(g_mime_multipart_new_with_subtype("mixed"));
    Ref<GMimeTextPart> body(g_mime_text_part_new_with_subtype("plain"));
    g_mime_text_part_set_text(body.get(), "Добрий день! Надсилаємо результати.");
    g_mime_multipart_add(mixed.get(), GMIME_OBJECT(body.get()));
    for (const Attachment& a : attachments) {
        Ref<GMimePart> part(g_mime_part_new_with_type("application", "octet-stream"));
        g_mime_part_set_filename(part.get(), a.name.c_str());
        Ref<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(a.bytes.data(), a.bytes.size()));
        Ref<GMimeDataWrapper> content(
            g_mime_data_wrapper_new_with_stream(stream.get(), GMIME_CONTENT_ENCODING_DEFAULT));
        g_mime_part_set_content(part.get(), content.get());
        g_mime_part_set_content_encoding(part.get(), a.encoding);
        g_mime_multipart_add(mixed.get(), GMIME_OBJECT(part.get()));
    }
    g_mime_message_set_mime_part(message.get(), GMIME_OBJECT(mixed.get()));
    GMimeFormatOptions* options = g_mime_format_options_clone(nullptr);
    if (rfc2047)
        g_mime_format_options_set_param_encoding_method(options,
                                                        GMIME_PARAM_ENCODING_METHOD_RFC2047);
    gchar* text = g_mime_object_to_string(GMIME_OBJECT(message.get()), options);
    g_mime_format_options_free(options);
    std::string out = text;
    g_free(text);
    return out;
}

std::string mbox(const std::vector<std::string>& messages) {
    std::string out;
    for (const std::string& m : messages)
        out += "From school@example.org Mon Dec  7 09:30:00 2026\n" + m + "\n";
    return out;
}

// One column of a query, as text, row after row.
std::vector<std::string> column(Database& db, const char* sql) {
    Statement query(db.handle(), sql, db.path());
    std::vector<std::string> out;
    while (query.step())
        out.push_back(query.text(0));
    return out;
}

class ResultsImport : public ::testing::Test {
protected:
    ImportCounts import(const std::string& source, const std::string& label = "",
                        SourceLimits limits = {}) {
        Progress quiet(false);
        Importer importer(*db, label, quiet, err, limits);
        return importer.importSource(source);
    }

    TempDir dir;
    std::unique_ptr<Database> db = Database::open(dir.file("region.db"));
    std::ostringstream err;
    const std::string a = clientResults("4", {"lektsii", "materialy"}, "Більше практики");
    const std::string b = clientResults("2", {}, "");
    const std::string c = clientResults("5", {"praktyka"}, "Усе добре,\nдякуємо");
};

TEST_F(ResultsImport, TheSameFilesFromAFolderAZipAMessageAndAMailFolderCountOnce) {
    dir.write("stick/kab1/results.xml", a);
    dir.write("stick/kab2/results.xml", b);
    dir.write("stick/kab3/results.xml", c);
    dir.write("stick/Assessments/vidhuk.xml",
              readFile(VEDRIS_SOURCE_DIR "/demo/Assessments/vidhuk.xml"));
    writeZip(dir.file("sent.zip"),
             {{"kab1/results.xml", a}, {"kab2/results.xml", b}, {"c.xml", c}});
    dir.write("one.eml", mail("School5@Example.org", "Результати школи №5",
                              {{"результати.xml", a},
                               {"kab2.xml", b, GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE},
                               {"photo.jpg", "\xff\xd8 not xml"}}));
    dir.write("Inbox", mbox({mail("kab3@example.org", "Кабінет 3", {{"результати.xml", c}}, true),
                             mail("kab3@example.org", "Ще раз", {{"results.xml", a}})}));

    ImportCounts folder = import(dir.file("stick"), "Школа №5");
    EXPECT_EQ(folder.added, 3u);
    EXPECT_EQ(folder.skipped, 1u) << "the assessment file beside the results is not refused";
    ImportCounts rest;
    for (const char* source : {"sent.zip", "one.eml", "Inbox"})
        rest += import(dir.file(source));
    EXPECT_EQ(rest.added, 0u);
    EXPECT_EQ(rest.repeats, 7u);
    EXPECT_EQ(rest.refused, 0u) << err.str();

    EXPECT_EQ(column(*db, "SELECT count(*) FROM result"), std::vector<std::string>{"3"});
    EXPECT_EQ(column(*db, "SELECT kind || ' ' || label FROM source ORDER BY id"),
              (std::vector<std::string>{"folder Школа №5", "zip ", "eml ", "mbox "}));
    // The first file's answers, in file order, as the tables read them.
    EXPECT_EQ(
        column(*db, "SELECT r.item || '.' || r.response || '=' || r.status || ':' || "
                    "coalesce(group_concat(v.value, ';'), '') FROM response r "
                    "LEFT JOIN response_value v ON v.response_id = r.id WHERE r.result_id = 1 "
                    "GROUP BY r.id ORDER BY r.position"),
        (std::vector<std::string>{"V01.OTSINKA=Valid:4", "V02.SPODOBALOSIA=Valid:lektsii;materialy",
                                  "V03.DZHERELO=NA:", "V04.GODYNY=NA:", "V05.TEMY=NA:",
                                  "V06.POKRASHCHYTY=Valid:Більше практики",
                                  "V07.REKOMENDATSIIA=NA:", "V08.POSHTA=NA:"}));
}

TEST_F(ResultsImport, MailKeepsSenderDateSubjectAndDecodedAttachmentNames) {
    dir.write("one.eml", mail("School5@Example.org", "Результати школи №5",
                              {{"результати.xml", a},
                               {"kab2.xml", b, GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE}}));
    dir.write("box.mbox", mbox({mail("kab3@example.org", "Кабінет 3", {{"звіт.xml", c}}, true)}));
    EXPECT_EQ(import(dir.file("one.eml")).added, 2u);
    EXPECT_EQ(import(dir.file("box.mbox")).added, 1u);
    std::vector<std::string> rows = column(
        *db,
        "SELECT place || '|' || sender || '|' || subject || '|' || origin FROM file ORDER BY id");
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0], dir.file("one.eml") + ": результати.xml|school5@example.org|"
                                             "Результати школи №5|school5@example.org");
    EXPECT_EQ(rows[1].substr(0, rows[1].find('|')), dir.file("one.eml") + ": kab2.xml");
    EXPECT_EQ(rows[2],
              dir.file("box.mbox") + "#1: звіт.xml|kab3@example.org|Кабінет 3|kab3@example.org");
    std::vector<std::string> sent = column(*db, "SELECT sent FROM file");
    EXPECT_TRUE(std::regex_match(sent[0], std::regex(R"(2026-12-0[67]T\d\d:30:00)"))) << sent[0];
}

TEST_F(ResultsImport, LaterVersionsSupersedeEarlierOnesOfTheSameOriginAndMergeKeepsTheRules) {
    dir.write("x/kab1/v1.xml", withDatetime(a, "2026-12-01T10:00:00"));
    dir.write("x/kab1/v2.xml", withDatetime(a, "2026-12-02T08:00:00"));
    dir.write("x/kab2/results.xml", withDatetime(b, "2026-11-01T10:00:00"));
    EXPECT_EQ(import(dir.file("x")).added, 3u);
    const char* versions = "SELECT f.place || '=' || r.superseded FROM result r "
                           "JOIN file f ON f.id = r.file_id ORDER BY f.place";
    std::vector<std::string> expected{dir.file("x/kab1/v1.xml") + "=1",
                                      dir.file("x/kab1/v2.xml") + "=0",
                                      dir.file("x/kab2/results.xml") + "=0"};
    EXPECT_EQ(column(*db, versions), expected);
    EXPECT_EQ(import(dir.file("x")).repeats, 3u) << "a second import changes nothing";

    // Another region holds the newest version again and one file of its own.
    TempDir other;
    {
        auto region = Database::open(other.file("other.db"));
        Progress quiet(false);
        Importer importer(*region, "", quiet, err);
        other.write("y/kab1/v2.xml", withDatetime(a, "2026-12-02T08:00:00"));
        other.write("y/kab9/results.xml", c);
        importer.importSource(other.file("y"));
    }
    ImportCounts merged = mergeDatabase(*db, other.file("other.db"), err);
    EXPECT_EQ(merged.added, 1u);
    EXPECT_EQ(merged.repeats, 1u);
    EXPECT_EQ(mergeDatabase(*db, other.file("other.db"), err).added, 0u);
    EXPECT_EQ(mergeDatabase(*db, dir.file("region.db"), err).added, 0u) << "itself: skipped";
    EXPECT_EQ(column(*db, "SELECT count(*) FROM result WHERE superseded = 0"),
              std::vector<std::string>{"3"});
    EXPECT_THROW(mergeDatabase(*db, dir.write("text.db", "not a database"), err), DatabaseError);
}

TEST_F(ResultsImport, HostileAndDamagedFilesAreRefusedWithTheirPlaceAndTheRestGoesOn) {
    std::string laughs = "<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY a \"aaaaaaaaaa\">"
                         "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;\">]><qti_result_report>&b;"
                         "</qti_result_report>";
    std::string badStatus =
        std::regex_replace(a, std::regex("response_status=\"Valid\""), "response_status=\"Maybe\"");
    writeZip(dir.file("bad.zip"), {{"../x.xml", a},
                                   {"bomb.xml", std::string(8u << 20, ' ')},
                                   {"laughs.xml", laughs},
                                   {"status.xml", badStatus},
                                   {"broken.xml", a.substr(0, a.size() / 2)},
                                   {"ok/results.xml", b}});
    ImportCounts counts = import(dir.file("bad.zip"));
    EXPECT_EQ(counts.added, 1u);
    EXPECT_EQ(counts.refused, 5u);
    std::string printed = err.str();
    for (const char* expected : {"bad.zip!../x.xml: відхилено: назва в архіві веде за межі",
                                 "bad.zip!bomb.xml: відхилено: стиснення підозріло сильне",
                                 "bad.zip!laughs.xml: відхилено: файл не прочитано як XML",
                                 "bad.zip!status.xml: відхилено: результат №1 (VIDHUK",
                                 "bad.zip!broken.xml: відхилено: файл не прочитано як XML"})
        EXPECT_NE(printed.find(expected), std::string::npos) << expected << "\n" << printed;
    EXPECT_EQ(column(*db, "SELECT count(*) FROM refusal"), std::vector<std::string>{"5"});
    import(dir.file("bad.zip"));
    EXPECT_EQ(column(*db, "SELECT count(*) FROM refusal"), std::vector<std::string>{"5"})
        << "the same bytes refused again are listed once";

    // A file far larger than a client writes: refused before it is parsed; nothing of it
    // stored. The bound is scaled down here; the default admits 300,000 elements.
    SourceLimits small;
    small.file.maxElements = 20;
    ImportCounts huge = import(dir.write("huge/results.xml", c), "", small);
    EXPECT_EQ(huge.refused, 1u);
    EXPECT_EQ(column(*db, "SELECT count(*) FROM result"), std::vector<std::string>{"1"});

    // Five hundred attachments in one message: each judged, the file kept once.
    std::vector<Attachment> many(500, Attachment{"results.xml", c});
    many.push_back({"other.xml", "<html/>"});
    ImportCounts mailed = import(dir.write("many.eml", mail("a@example.org", "500", many)));
    EXPECT_EQ(mailed.added, 1u);
    EXPECT_EQ(mailed.repeats, 499u);
    EXPECT_EQ(mailed.skipped, 1u);
}

TEST_F(ResultsImport, ASourceThatFailsHalfwayLeavesTheDatabaseAsItWas) {
    dir.write("first/results.xml", a);
    import(dir.file("first"));
    // The database itself refuses the third file of the next folder, after two were stored.
    db->exec("CREATE TRIGGER poison BEFORE INSERT ON result WHEN NEW.datetime = 'POISON' "
             "BEGIN SELECT RAISE(ABORT, 'disk full'); END");
    dir.write("second/1/results.xml", b);
    dir.write("second/2/results.xml", c);
    dir.write("second/3/results.xml", withDatetime(a, "POISON"));
    // Many more files behind it: the failure stops the threads still reading ahead.
    for (int i = 10; i < 90; ++i)
        dir.write("second/" + std::to_string(i) + "/results.xml",
                  withDatetime(a, "2026-12-01T10:" + std::to_string(i) + ":00"));
    const char* state = "SELECT (SELECT count(*) FROM source) || ' ' || (SELECT count(*) FROM "
                        "file) || ' ' || (SELECT count(*) FROM response)";
    std::vector<std::string> before = column(*db, state);
    EXPECT_THROW(import(dir.file("second")), DatabaseError);
    EXPECT_EQ(column(*db, state), before);
    db->exec("DROP TRIGGER poison");
    EXPECT_EQ(import(dir.file("second")).added, 83u) << "the same source again, whole";
}

TEST_F(ResultsImport, FilesParsedSideBySideAreStoredAndToldInTheOrderOfTheirSource) {
    std::vector<std::string> stored, refused;
    for (int i = 10; i < 70; ++i) {
        std::string place = "many/" + std::to_string(i) + "/results.xml";
        bool broken = i % 7 == 0;
        dir.write(place, broken ? a.substr(0, a.size() / 3)
                                : withDatetime(b, "2026-12-02T11:" + std::to_string(i) + ":00"));
        (broken ? refused : stored).push_back(dir.file(place));
    }
    Progress quiet(false);
    Importer importer(*db, "", quiet, err);
    EXPECT_EQ(importer.importSource(dir.file("many")).added, stored.size());
    EXPECT_EQ(column(*db, "SELECT place FROM file ORDER BY id"), stored);
    std::vector<std::string> told;
    for (std::istringstream lines(err.str()); std::getline(lines, told.emplace_back());)
        told.back() = told.back().substr(0, told.back().find(": "));
    told.pop_back();
    EXPECT_EQ(told, refused);
}

TEST_F(ResultsImport, ForwardedMessagesAreFollowedToALimitedDepth) {
    g_mime_init();
    auto forward = [](const std::string& message, int times) {
        std::string text = message;
        for (int i = 0; i < times; ++i) {
            Ref<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(text.data(), text.size()));
            Ref<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
            Ref<GMimeMessage> inner(g_mime_parser_construct_message(parser.get(), nullptr));
            Ref<GMimeMessagePart> part(g_mime_message_part_new_with_message("rfc822", inner.get()));
            Ref<GMimeMessage> outer(g_mime_message_new(TRUE));
            g_mime_message_add_mailbox(outer.get(), GMIME_ADDRESS_TYPE_FROM, "",
                                       "boss@example.org");
            g_mime_message_set_mime_part(outer.get(), GMIME_OBJECT(part.get()));
            gchar* out = g_mime_object_to_string(GMIME_OBJECT(outer.get()), nullptr);
            text = out;
            g_free(out);
        }
        return text;
    };
    std::string original = mail("kab1@example.org", "Результати", {{"results.xml", a}});
    dir.write("fwd.eml", forward(original, 2));
    ImportCounts once = import(dir.file("fwd.eml"));
    EXPECT_EQ(once.added, 1u);
    EXPECT_EQ(column(*db, "SELECT sender FROM file"), std::vector<std::string>{"kab1@example.org"})
        << "the school that sent it, not the one who forwarded it";
    dir.write("deep.eml", forward(mail("kab2@example.org", "Глибоко", {{"results.xml", b}}), 12));
    ImportCounts deep = import(dir.file("deep.eml"));
    EXPECT_EQ(deep.added, 0u);
    EXPECT_EQ(deep.refused, 1u);
    EXPECT_NE(err.str().find("надто глибоко"), std::string::npos) << err.str();
}

TEST_F(ResultsImport, OnlyItsOwnDatabasesAreOpened) {
    db->exec("PRAGMA user_version = 2");
    db.reset();
    EXPECT_THROW(Database::open(dir.file("region.db")), DatabaseError) << "a newer program's";
    Database::open(dir.file("other.db"))->exec("PRAGMA user_version = 0; CREATE TABLE t (x)");
    EXPECT_THROW(Database::open(dir.file("other.db")), DatabaseError) << "someone else's";
}

TEST_F(ResultsImport, TheProgramAnswersWithItsExitStatus) {
    auto run = [&](const std::string& args) {
        int status = std::system((std::string(VEDRIS_RESULTS_EXE) + " " + args + " 2>" +
                                  dir.file("err.txt") + " >/dev/null")
                                     .c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    EXPECT_EQ(run("--help"), 0);
    EXPECT_EQ(run(""), 2);
    EXPECT_EQ(run("import " + dir.file("cli.db")), 2);
    EXPECT_EQ(run("frobnicate"), 2);
    dir.write("in/results.xml", a);
    EXPECT_EQ(run("import " + dir.file("cli.db") + " " + dir.file("in") + " --label 'Школа №5'"),
              0);
    EXPECT_EQ(run("import " + dir.file("cli.db") + " " + dir.file("nothing")), 1);
    EXPECT_NE(readFile(dir.file("err.txt")).find("немає такого файла чи папки"), std::string::npos);
    EXPECT_EQ(run("import " + dir.write("plain.txt", "text") + " " + dir.file("in")), 1);
    EXPECT_EQ(run("export"), 2);
}

} // namespace

// What a results file gives, from files no client writes: the first assessment_result,
// context, date and datetime of a result; every item at any depth, each with its own
// responses, in the order the items begin; the text of a value with whatever markup it holds.
TEST(ResultsFile, ReadsTheFirstOfEachAndEveryItemInTheOrderItBegins) {
    std::string file = R"(<?xml version="1.0"?>
<qti_result_report><!-- a comment -->
 <result>
  <context><date><datetime> 2026-12-01T10:00:00 </datetime><datetime>2027</datetime></date></context>
  <context><date><datetime>2028-01-01T00:00:00</datetime></date></context>
  <assessment_result ident_ref="A &amp; B">
   <item_result ident_ref="I1">
    <response ident_ref="R1"><response_value response_status="Valid">x<b>y</b><![CDATA[<z>]]></response_value></response>
    <item_result ident_ref="I2"><response ident_ref="R"><response_value response_status="NA"/></response></item_result>
    <response ident_ref="R2"><response_value response_status="Valid">a</response_value><response_value response_status="Valid">b</response_value></response>
   </item_result>
  </assessment_result>
  <assessment_result ident_ref="SECOND"/>
 </result>
 <other><result/></other>
</qti_result_report>)";
    ReadOutcome read = readResultsFile(file, "f.xml");
    ASSERT_EQ(read.kind, ReadOutcome::Accepted) << read.reason;
    ASSERT_EQ(read.results.size(), 1u);
    const ResultRecord& r = read.results[0];
    EXPECT_EQ(r.assessment, "A & B");
    EXPECT_EQ(r.datetime, "2026-12-01T10:00:00");
    std::vector<std::string> got;
    for (const ResponseRecord& x : r.responses) {
        got.push_back(x.item + "." + x.response + (x.valid ? " Valid" : " NA"));
        for (const std::string& v : x.values)
            got.back() += " [" + v + "]";
    }
    EXPECT_EQ(got, (std::vector<std::string>{"I1.R1 Valid [xy<z>]", "I1.R2 Valid [a] [b]",
                                             "I2.R NA"}));

    // The first fault in that same order refuses the file, and only once it is whole.
    std::string faulty = std::regex_replace(file, std::regex("\"NA\""), "\"Maybe\"");
    faulty = std::regex_replace(faulty, std::regex("ident_ref=\"R2\""), "");
    EXPECT_EQ(readResultsFile(faulty, "f.xml").reason,
              "результат №1 (A & B), рядок 10: response без атрибута ident_ref.");
    EXPECT_EQ(readResultsFile(faulty.substr(0, faulty.size() - 5), "f.xml")
                  .reason.rfind("файл не прочитано як XML", 0),
              0u);
}
