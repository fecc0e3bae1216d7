// The assessments folder behind the browser's own URI scheme: nothing outside the folder is
// served to a real view.
#include <gtest/gtest.h>

#include "gui/ClientHarness.h"
#include "web/AssessmentScheme.h"

using namespace vedris;
using namespace vedris::test;

namespace {

const auto* const gtkEnvironment = ::testing::AddGlobalTestEnvironment(new GtkEnvironment);

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
