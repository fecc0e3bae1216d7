// "Файл → Новий кандидат…" in the real main window: a page that refuses to be left stops the
// turn, then two candidates one after the other, each archived whole.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <gio/gio.h>

#include "gui/ClientHarness.h"

using namespace vedris;
using namespace vedris::test;

namespace {

const auto* const gtkEnvironment = ::testing::AddGlobalTestEnvironment(new GtkEnvironment);

class NewCandidateTest : public ::testing::Test {
protected:
    std::vector<std::string> archive() const {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& entry :
             std::filesystem::directory_iterator(inst.resultsDir() + "archive", ec))
            names.push_back(entry.path().string());
        return names;
    }
    // Asks for a new candidate, confirms, and returns the box shown after (none: "").
    std::string newCandidate(Client& client) {
        client.w().RunAction("acNewCandidate");
        EXPECT_TRUE(waitFor([] { return !desktop::OpenMessageBoxes().empty(); }));
        const desktop::OpenBox box = desktop::OpenMessageBoxes().back();
        EXPECT_EQ(box.text, "Відповіді цього кандидата буде збережено в архіві, а програма почне з "
                            "порожніми анкетами. Продовжити?");
        desktop::AnswerMessageBox(box.window, true);
        pumpFor(0.05);
        EXPECT_TRUE(waitFor([&] { return !client.w().Busy(); }));
        pumpFor(0.2);
        const auto boxes = desktop::OpenMessageBoxes();
        const std::string text = boxes.empty() ? "" : boxes.back().text;
        Client::closeMessageBoxes();
        return text;
    }
    // Opens alpha, finds it empty, and types a name into it.
    void answer(Client& client, const std::string& name) {
        ASSERT_TRUE(client.bindsAfter([&] { client.click("#to-alpha"); }));
        EXPECT_EQ(client.frame("return doc.getElementsByName('A1.TEXT')[0].value;"), "");
        client.frame("doc.getElementsByName('A1.TEXT')[0].value = '" + name + "';");
    }

    Installation inst{"alpha, beta"};
};

TEST_F(NewCandidateTest, ARefusingPageStopsItAndEachCandidateIsArchivedWhole) {
    Client client(inst);
    ASSERT_TRUE(client.started);
    const std::string fresh = readFile(inst.results());
    // results.xml as the turn's own save of the page leaves it, just before the copy.
    std::string before;
    client.w().Session().onAccepted = [&, accepted = client.w().Session().onAccepted] {
        accepted();
        before = readFile(inst.results());
    };

    answer(client, "Шевченко");
    client.frame("doc.defaultView.allowLeave = false;");
    const std::string untouched = readFile(inst.results());
    EXPECT_EQ(newCandidate(client), "");
    EXPECT_EQ(readFile(inst.results()), untouched);
    EXPECT_TRUE(archive().empty());
    EXPECT_EQ(client.frameFile(), "alpha.html");

    client.frame("doc.defaultView.allowLeave = true;");
    std::vector<std::string> archived;
    for (const std::string name : {"Шевченко", "Франко"}) {
        if (name != "Шевченко")
            answer(client, name);
        const std::string told = newCandidate(client);
        ASSERT_EQ(archive().size(), archived.size() + 1);
        for (const std::string& file : archive())
            if (std::find(archived.begin(), archived.end(), file) == archived.end())
                archived.push_back(file);
        EXPECT_NE(told.find(archived.back()), std::string::npos) << told;
        EXPECT_EQ(readFile(archived.back()), before);
        EXPECT_EQ(Results(archived.back()).values("ALPHA", "A1", "TEXT"),
                  std::vector<std::string>{"Valid:" + name});
        EXPECT_TRUE(waitFor([&] { return client.frameFile() == "welcome.html"; }));
        EXPECT_EQ(readFile(inst.results()), fresh);
    }
    EXPECT_EQ(Results(archived[0]).values("ALPHA", "A1", "TEXT"),
              std::vector<std::string>{"Valid:Шевченко"});
    EXPECT_TRUE(client.w().ReportedErrors().empty());
}

TEST_F(NewCandidateTest, NewCandidateZeroTakesTheItemAway) {
    inst.dir.write("vedris.ini", "[General]\nClientAssessments=alpha\nNewCandidate=0\n");
    Client client(inst);
    ASSERT_TRUE(client.started);
    // The menu item is hidden when its action is missing.
    EXPECT_FALSE(g_action_group_has_action(client.w().ActionGroup(), "acNewCandidate"));
}

} // namespace
