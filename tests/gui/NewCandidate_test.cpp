// "Файл → Новий кандидат…" in the real main window: two candidates one after the other, each
// archived whole, and a page that refuses to be left stopping the turn.
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

const std::string Question = "Відповіді цього кандидата буде збережено в архіві, а програма "
                             "почне з порожніми анкетами. Продовжити?";

std::vector<std::string> archiveOf(const Installation& inst) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(inst.resultsDir() + "archive", ec))
        names.push_back(entry.path().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The menu item "Новий кандидат…" shows: it is in the menu and its action is there.
bool offersNewCandidate(Client& client, GMenuModel* model = nullptr) {
    model = model ? model : client.w().MenuModel();
    for (int i = 0; i < g_menu_model_get_n_items(model); ++i) {
        gchar* label = nullptr;
        gchar* hiddenWhen = nullptr;
        g_menu_model_get_item_attribute(model, i, G_MENU_ATTRIBUTE_LABEL, "s", &label);
        g_menu_model_get_item_attribute(model, i, "hidden-when", "s", &hiddenWhen);
        const bool item = label && std::string(label) == "Новий кандидат…";
        const bool hidden = hiddenWhen && std::string(hiddenWhen) == "action-missing" &&
                            !g_action_group_has_action(client.w().ActionGroup(), "acNewCandidate");
        g_free(label);
        g_free(hiddenWhen);
        if (item)
            return !hidden;
        for (const char* link : {G_MENU_LINK_SECTION, G_MENU_LINK_SUBMENU}) {
            GMenuModel* inner = g_menu_model_get_item_link(model, i, link);
            const bool found = inner && offersNewCandidate(client, inner);
            if (inner)
                g_object_unref(inner);
            if (found)
                return true;
        }
    }
    return false;
}

class NewCandidateTest : public ::testing::Test {
protected:
    // Asks for a new candidate and answers the question with OK.
    void newCandidate(Client& client) {
        client.w().RunAction("acNewCandidate");
        ASSERT_TRUE(waitFor([] { return !desktop::OpenMessageBoxes().empty(); }));
        const desktop::OpenBox box = desktop::OpenMessageBoxes().back();
        EXPECT_EQ(box.kind, desktop::MessageKind::Confirm);
        EXPECT_EQ(box.text, Question);
        desktop::AnswerMessageBox(box.window, true);
        pumpFor(0.05);
        ASSERT_TRUE(waitFor([&] { return !client.w().Busy(); }));
    }
    // Opens alpha and types a name into it.
    void answer(Client& client, const std::string& name) {
        ASSERT_TRUE(client.bindsAfter([&] { client.click("#to-alpha"); }));
        EXPECT_EQ(client.frame("return doc.getElementsByName('A1.TEXT')[0].value;"), "");
        client.frame("doc.getElementsByName('A1.TEXT')[0].value = '" + name + "';");
    }
    // Takes a turn and returns the archived file the closing box names.
    std::string turn(Client& client) {
        const std::vector<std::string> earlier = archiveOf(inst);
        newCandidate(client);
        EXPECT_TRUE(waitFor([] {
            auto boxes = desktop::OpenMessageBoxes();
            return !boxes.empty() && boxes.back().kind == desktop::MessageKind::Information;
        }));
        EXPECT_TRUE(waitFor([&] { return client.frameFile() == "welcome.html"; }));
        // The one file that was not there before (".drafts" folders are not made here).
        std::string last;
        for (const std::string& name : archiveOf(inst))
            if (std::find(earlier.begin(), earlier.end(), name) == earlier.end())
                last = name;
        const std::string text = desktop::OpenMessageBoxes().back().text;
        EXPECT_NE(text.find(last), std::string::npos) << text;
        Client::closeMessageBoxes();
        return last;
    }

    Installation inst{"alpha, beta"};
};

TEST_F(NewCandidateTest, EachCandidateIsArchivedWholeAndTheNextStartsAfresh) {
    Client client(inst);
    ASSERT_TRUE(client.started);
    EXPECT_TRUE(offersNewCandidate(client));
    const std::string fresh = readFile(inst.results());
    // results.xml as the turn's own submission leaves it, the moment before it is archived.
    std::string before;
    auto accepted = client.w().Session().onAccepted;
    client.w().Session().onAccepted = [&] {
        accepted();
        before = readFile(inst.results());
    };

    // A page that refuses to be left keeps everything as it is.
    answer(client, "Шевченко");
    client.frame("doc.defaultView.allowLeave = false;");
    const std::string untouched = readFile(inst.results());
    newCandidate(client);
    pumpFor(0.2);
    EXPECT_EQ(client.frame("return String(doc.defaultView.submitCount);"), "1");
    EXPECT_EQ(readFile(inst.results()), untouched);
    EXPECT_TRUE(archiveOf(inst).empty());
    EXPECT_TRUE(desktop::OpenMessageBoxes().empty());
    EXPECT_EQ(client.frameFile(), "alpha.html");

    client.frame("doc.defaultView.allowLeave = true;");
    const std::string first = turn(client);
    EXPECT_EQ(Results(first).values("ALPHA", "A1", "TEXT"),
              std::vector<std::string>{"Valid:Шевченко"});
    EXPECT_NE(Results(first).datetime("ALPHA"), "");
    EXPECT_EQ(readFile(first), before);
    EXPECT_EQ(readFile(inst.results()), fresh);

    answer(client, "Франко");
    const std::string second = turn(client);
    EXPECT_EQ(archiveOf(inst).size(), 2u);
    EXPECT_EQ(Results(second).values("ALPHA", "A1", "TEXT"),
              std::vector<std::string>{"Valid:Франко"});
    EXPECT_EQ(readFile(second), before);
    EXPECT_EQ(Results(first).values("ALPHA", "A1", "TEXT"),
              std::vector<std::string>{"Valid:Шевченко"});
    EXPECT_EQ(readFile(inst.results()), fresh);
    EXPECT_TRUE(client.w().ReportedErrors().empty());
}

TEST_F(NewCandidateTest, NewCandidateZeroHidesTheItem) {
    inst.dir.write("vedris.ini", "[General]\nClientAssessments=alpha\nNewCandidate=0\n");
    Client client(inst);
    ASSERT_TRUE(client.started);
    EXPECT_FALSE(offersNewCandidate(client));
}

} // namespace
