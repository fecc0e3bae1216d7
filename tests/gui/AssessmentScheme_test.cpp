// The assessments folder behind the browser's own URI scheme: how paths and URLs map, and
// that nothing outside the folder is served, checked on the mapping and in a real view.
#include <gtest/gtest.h>

#include "gui/ClientHarness.h"
#include "web/AssessmentScheme.h"

using namespace vedris;
using namespace vedris::test;
using web::AssessmentFolder;

namespace {

const auto* const gtkEnvironment = ::testing::AddGlobalTestEnvironment(new GtkEnvironment);

TEST(AssessmentFolderMapping, FilesMapToUrlsAndBack) {
    AssessmentFolder folder("/srv/vedris/Assessments");
    EXPECT_EQ(folder.root(), "/srv/vedris/Assessments/");
    EXPECT_EQ(folder.urlForFile("/srv/vedris/Assessments/index.html"),
              "vedris://assessments/index.html");
    EXPECT_EQ(folder.urlForFile("/srv/vedris/Assessments/pages/тест 1.html"),
              "vedris://assessments/pages/%D1%82%D0%B5%D1%81%D1%82%201.html");
    EXPECT_EQ(*folder.pathForUrl("vedris://assessments/pages/%D1%82%D0%B5%D1%81%D1%82%201.html"),
              "/srv/vedris/Assessments/pages/тест 1.html");
    // Query, fragment and letter case of scheme and host do not matter.
    EXPECT_EQ(*folder.pathForUrl("VEDRIS://Assessments/Test1.HTM?a=1#top"),
              "/srv/vedris/Assessments/Test1.HTM");
    EXPECT_EQ(*folder.pathForUrl("vedris://assessments/a//./b.html"),
              "/srv/vedris/Assessments/a/b.html");
    EXPECT_EQ(*folder.pathForUrl("vedris://assessments/"), "/srv/vedris/Assessments/");
    EXPECT_THROW(folder.urlForFile("/srv/vedris/Results/results.xml"), web::Error);
    EXPECT_THROW(folder.urlForFile("/srv/vedris/Assessments/../secret"), web::Error);
    EXPECT_THROW(folder.urlForFile("/srv/vedris/AssessmentsX/a.html"), web::Error);
}

TEST(AssessmentFolderMapping, PathsLeavingTheFolderAreRefused) {
    AssessmentFolder folder("/srv/vedris/Assessments/");
    for (const char* url :
         {"vedris://assessments/../secret.txt", "vedris://assessments/a/../../secret.txt",
          "vedris://assessments/%2e%2e/secret.txt", "vedris://assessments/..%2Fsecret.txt",
          "vedris://assessments/..%2fsecret.txt", "vedris://assessments/..%5Csecret.txt",
          "vedris://assessments/a%00.html", "vedris://assessments/%zz.html",
          "vedris://elsewhere/index.html", "file:///srv/vedris/Assessments/index.html",
          "about:blank"})
        EXPECT_FALSE(folder.pathForUrl(url).has_value()) << url;
}

TEST(AssessmentFolderMapping, OnlyRegularFilesInsideTheRealFolderAreServed) {
    TempDir dir;
    dir.write("Assessments/index.html", "<p>");
    dir.write("Assessments/sub/page.html", "<p>");
    dir.write("secret.txt", "secret");
    std::filesystem::create_symlink(dir.file("secret.txt"), dir.file("Assessments/out.txt"));
    std::filesystem::create_symlink(dir.file("Assessments/index.html"),
                                    dir.file("Assessments/in.html"));
    AssessmentFolder folder(dir.file("Assessments"));
    auto real = [](const std::string& p) { return std::filesystem::canonical(p).string(); };
    EXPECT_EQ(folder.fileToServe("vedris://assessments/index.html"),
              real(dir.file("Assessments/index.html")));
    EXPECT_EQ(folder.fileToServe("vedris://assessments/sub/page.html"),
              real(dir.file("Assessments/sub/page.html")));
    // A link inside the folder to a file inside it is fine; one leading out is not.
    EXPECT_EQ(folder.fileToServe("vedris://assessments/in.html"),
              real(dir.file("Assessments/index.html")));
    EXPECT_FALSE(folder.fileToServe("vedris://assessments/out.txt"));
    EXPECT_FALSE(folder.fileToServe("vedris://assessments/sub"));
    EXPECT_FALSE(folder.fileToServe("vedris://assessments/missing.html"));
}

TEST(AssessmentFolderMapping, MimeTypes) {
    EXPECT_EQ(AssessmentFolder::mimeTypeFor("a/Index.HTML"), "text/html");
    EXPECT_EQ(AssessmentFolder::mimeTypeFor("t.htm"), "text/html");
    EXPECT_EQ(AssessmentFolder::mimeTypeFor("s.css"), "text/css");
    EXPECT_EQ(AssessmentFolder::mimeTypeFor("s.js"), "text/javascript");
    EXPECT_EQ(AssessmentFolder::mimeTypeFor("a.xml"), "application/xml");
    EXPECT_EQ(AssessmentFolder::mimeTypeFor("p.PNG"), "image/png");
    EXPECT_EQ(AssessmentFolder::mimeTypeFor("p.jpeg"), "image/jpeg");
    EXPECT_EQ(AssessmentFolder::mimeTypeFor("README"), "application/octet-stream");
}

// What a page gets when it asks for a URL: "status:text", or "refused" when the request
// fails outright.
std::string fetchFromPage(Client& c, const std::string& url) {
    return c.page("(function () { var x = new XMLHttpRequest();"
                  "  try { x.open('GET', '" +
                  url +
                  "', false); x.send(); return x.status + ':' + x.responseText; }"
                  "  catch (e) { return 'refused'; } })()");
}

TEST(AssessmentScheme, TheBrowserGetsNothingFromOutsideTheFolder) {
    Installation inst("alpha");
    inst.dir.write("secret.txt", "таємниця");
    inst.dir.write("Assessments/inside.txt", "всередині");
    std::filesystem::create_symlink(inst.dir.file("secret.txt"), inst.assessments() + "link.txt");
    Client c(inst);
    ASSERT_TRUE(c.started);

    // Pages are read as UTF-8 unless they name their own encoding, and every frame has the
    // same origin.
    EXPECT_EQ(c.page("document.characterSet"), "UTF-8");
    EXPECT_EQ(c.page("document.title"), "Тестові анкети");
    ASSERT_TRUE(c.arrivesAfter([&] { c.page("frames.form_frame.location.href = 'plain.html'"); },
                               "plain.html"));
    EXPECT_EQ(c.page("frames.form_frame.document.title"), "Привіт без кодування");
    ASSERT_TRUE(c.arrivesAfter([&] { c.page("frames.form_frame.location.href = 'cp1251.html'"); },
                               "cp1251.html"));
    EXPECT_EQ(c.page("frames.form_frame.document.title"), "Привіт у cp1251");
    EXPECT_EQ(c.page("frames.form_frame.document.characterSet"), "windows-1251");
    c.page("frames.form_frame.location.href = 'welcome.html'");
    ASSERT_TRUE(waitFor([&] { return c.frameFile() == "welcome.html" && !c.w().Busy(); }));
    EXPECT_EQ(c.page("String(frames.form_frame.document.body.textContent.trim())"),
              "Оберіть анкету.");
    EXPECT_EQ(fetchFromPage(c, "inside.txt"), "200:всередині");

    for (const char* url : {"..%2Fsecret.txt", "../secret.txt", "%2e%2e/secret.txt", "link.txt",
                            "vedris://assessments/..%2F..%2Fsecret.txt"}) {
        std::string got = fetchFromPage(c, url);
        EXPECT_EQ(got.find("таємниця"), std::string::npos) << url << " -> " << got;
    }
    std::string fileUrl = "file://" + inst.dir.file("secret.txt");
    EXPECT_EQ(fetchFromPage(c, fileUrl).find("таємниця"), std::string::npos);

    EXPECT_EQ(fetchFromPage(c, "missing.html").substr(0, 4), "404:");

    // Loaded into the frame, the outside file shows nothing of itself: the frame says the
    // page is not there.
    c.page("frames.form_frame.location.href = '..%2Fsecret.txt'");
    ASSERT_TRUE(waitFor([&] {
        return c.page("frames.form_frame.document.title") == "Сторінку не знайдено" &&
               !c.w().Busy();
    }));
    EXPECT_EQ(c.page("frames.form_frame.document.body.textContent").find("таємниця"),
              std::string::npos);
}

} // namespace
