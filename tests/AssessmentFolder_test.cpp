// The assessments folder behind the browser's own URI scheme: how paths and URLs map, and
// which files are served.
#include "platform/desktop/AssessmentFolder.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/TempDir.h"

using namespace vedris;
using vedris::test::TempDir;

namespace {

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
    EXPECT_THROW(folder.urlForFile("/srv/vedris/Results/results.xml"), AddressError);
    EXPECT_THROW(folder.urlForFile("/srv/vedris/Assessments/../secret"), AddressError);
    EXPECT_THROW(folder.urlForFile("/srv/vedris/AssessmentsX/a.html"), AddressError);
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

} // namespace
