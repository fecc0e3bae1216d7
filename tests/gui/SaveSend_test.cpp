// Saving the results into a chosen folder and handing them to the mail client, through the
// real main window: the folder chooser answers through its stand-in, and xdg-email is a
// script first in PATH that records what it was given.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <gtk/gtk.h>

#include "desktop/FolderChooser.h"
#include "desktop/Mail.h"
#include "gui/ClientHarness.h"

using namespace vedris;
using namespace vedris::test;

namespace {

const auto* const gtkEnvironment = ::testing::AddGlobalTestEnvironment(new GtkEnvironment);

const std::string SaveTitle = "Виберіть папку, в якій потрібно зберегти анкетні дані:";
const std::string SavedText = "Анкетні дані вдало збережено.\n\rФайл з даними: ";

std::vector<std::string> filesIn(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec))
        names.push_back(entry.path().filename().string());
    return names;
}

// The strings of a file written by printf '%s\0'.
std::vector<std::string> splitNul(const std::string& data) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t i = 0; i < data.size(); ++i)
        if (data[i] == '\0') {
            parts.push_back(data.substr(start, i - start));
            start = i + 1;
        }
    return parts;
}

// PATH with one folder put first, restored when the object goes.
class PathFirst {
public:
    explicit PathFirst(const std::string& folder) {
        const char* path = std::getenv("PATH");
        old_ = path ? path : "";
        setenv("PATH", (folder + ":" + old_).c_str(), 1);
    }
    ~PathFirst() { setenv("PATH", old_.c_str(), 1); }

private:
    std::string old_;
};

class SaveSendTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("XDG_CONFIG_HOME", inst.dir.file("config").c_str(), 1);
        desktop::SetFolderChooserStandIn(
            [this](const std::string& title, GtkWindow* parent) -> std::optional<std::string> {
                asked.push_back(title);
                askedParent = parent;
                return choice;
            });
        // The stand-in mail client keeps its arguments and a copy of the attachment as it
        // was when the mail was composed.
        inst.dir.write("bin/xdg-email", "#!/bin/sh\n"
                                        "out='" +
                                            inst.dir.file("mail") +
                                            "'\n"
                                            "for a; do last=\"$a\"; done\n"
                                            "cp \"$last\" \"$out.attachment\"\n"
                                            "printf '%s\\0' \"$@\" > \"$out.tmp\"\n"
                                            "mv \"$out.tmp\" \"$out\"\n");
        std::filesystem::permissions(inst.dir.file("bin/xdg-email"),
                                     std::filesystem::perms::owner_all);
    }

    void TearDown() override {
        desktop::SetFolderChooserStandIn({});
        unsetenv("XDG_CONFIG_HOME");
    }

    // Binds alpha with a name typed in.
    void answerAlpha(Client& client) {
        ASSERT_TRUE(client.started);
        ASSERT_TRUE(client.bindsAfter([&] { client.click("#to-alpha"); }));
        client.frame("doc.getElementsByName('A1.TEXT')[0].value = 'Шевченко';");
    }

    // Runs an action and waits until the window has nothing left to do.
    void run(Client& client, const std::string& action) {
        client.w().RunAction(action);
        // The folder chooser answers from the main loop; then the submission is queued.
        pumpFor(0.05);
        ASSERT_TRUE(waitFor([&] { return !client.w().Busy(); }));
        pumpFor(0.1);
    }

    std::vector<desktop::OpenBox> boxes() const { return desktop::OpenMessageBoxes(); }

    Installation inst{"alpha, beta"};
    std::optional<std::string> choice;
    std::vector<std::string> asked;
    GtkWindow* askedParent = nullptr;
    PathFirst path{inst.dir.file("bin")};
};

TEST_F(SaveSendTest, SaveToCopiesTheAnswersOnScreenOverAnExistingFile) {
    std::string folder = inst.dir.file("flash drive");
    std::string target = folder + "/results.xml";
    inst.dir.write("flash drive/results.xml", "старий вміст");
    choice = folder;
    Client client(inst);
    answerAlpha(client);

    run(client, "acSaveTo");
    ASSERT_TRUE(waitFor([&] { return !boxes().empty(); }));
    EXPECT_EQ(asked, std::vector<std::string>{SaveTitle});
    EXPECT_EQ(askedParent, client.w().Window());

    // The page was submitted before the copy: the copy holds what was typed.
    EXPECT_EQ(Results(target).values("ALPHA", "A1", "TEXT"),
              std::vector<std::string>{"Valid:Шевченко"});
    EXPECT_EQ(readFile(target), readFile(inst.results()));
    EXPECT_EQ(filesIn(folder), std::vector<std::string>{"results.xml"});

    ASSERT_EQ(boxes().size(), 1u);
    desktop::OpenBox box = boxes()[0];
    EXPECT_EQ(box.kind, desktop::MessageKind::Information);
    EXPECT_EQ(box.caption, "Ведрис");
    EXPECT_EQ(box.text, SavedText + target);
    EXPECT_TRUE(box.modal);
    EXPECT_EQ(box.parent, client.w().Window());
    EXPECT_TRUE(client.w().ReportedErrors().empty());
}

TEST_F(SaveSendTest, CancelAndRefusalCopyNothingAndSayNothing) {
    std::string folder = inst.dir.file("target");
    std::filesystem::create_directories(folder);
    Client client(inst);
    ASSERT_TRUE(client.started);

    // No assessment page bound yet.
    choice = folder;
    run(client, "acSaveTo");
    EXPECT_EQ(asked.size(), 1u);
    EXPECT_TRUE(filesIn(folder).empty());
    EXPECT_TRUE(boxes().empty());

    // Cancel: the page is not even submitted.
    answerAlpha(client);
    int submissions = client.w().Stats().submissions;
    choice.reset();
    run(client, "acSaveTo");
    EXPECT_EQ(asked.size(), 2u);
    EXPECT_EQ(client.w().Stats().submissions, submissions);
    EXPECT_TRUE(filesIn(folder).empty());
    EXPECT_TRUE(boxes().empty());

    // The page's handler refuses.
    client.frame("doc.defaultView.allowLeave = false;");
    choice = folder;
    run(client, "acSaveTo");
    EXPECT_EQ(asked.size(), 3u);
    EXPECT_EQ(client.frame("return String(doc.defaultView.submitCount);"), "1");
    EXPECT_TRUE(filesIn(folder).empty());
    EXPECT_TRUE(boxes().empty());
    EXPECT_TRUE(client.w().ReportedErrors().empty());
}

TEST_F(SaveSendTest, AFailedCopyShowsAnErrorAndLeavesNoPartialFile) {
    // A folder named results.xml stands where the copy must go: the file is written aside
    // in full and then cannot take its place.
    std::string folder = inst.dir.file("blocked");
    inst.dir.write("blocked/results.xml/keep", "x");
    Client client(inst);
    answerAlpha(client);

    choice = folder;
    run(client, "acSaveTo");
    ASSERT_TRUE(waitFor([&] { return !boxes().empty(); }));
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].kind, desktop::MessageKind::Error);
    EXPECT_EQ(boxes()[0].text.rfind("Анкетні дані не збережено. ", 0), 0u) << boxes()[0].text;
    EXPECT_NE(boxes()[0].text.find(folder + "/results.xml"), std::string::npos);
    EXPECT_EQ(filesIn(folder), std::vector<std::string>{"results.xml"});
    EXPECT_EQ(filesIn(folder + "/results.xml"), std::vector<std::string>{"keep"});
    Client::closeMessageBoxes();

    // A folder that is gone by the time of the copy.
    choice = inst.dir.file("unplugged");
    run(client, "acSaveTo");
    ASSERT_TRUE(waitFor([&] { return !boxes().empty(); }));
    EXPECT_EQ(boxes()[0].kind, desktop::MessageKind::Error);
    EXPECT_FALSE(std::filesystem::exists(inst.dir.file("unplugged")));
    EXPECT_EQ(client.w().ReportedErrors().size(), 2u);
}

TEST_F(SaveSendTest, SendHandsTheSavedResultsToTheMailClient) {
    inst.dir.write("vedris.ini",
                   "[General]\nClientAssessments=alpha, beta\nRRGAddress=rrg@oblast.example\n");
    Client client(inst);
    answerAlpha(client);

    run(client, "acSend");
    ASSERT_TRUE(waitFor([&] { return std::filesystem::exists(inst.dir.file("mail")); }, 10));
    EXPECT_EQ(splitNul(readFile(inst.dir.file("mail"))),
              (std::vector<std::string>{"--utf8", "--subject", "Анкетні дані ведриса", "--to",
                                        "Регіональна робоча група <rrg@oblast.example>", "--attach",
                                        inst.results()}));
    EXPECT_EQ(Results(inst.dir.file("mail.attachment")).values("ALPHA", "A1", "TEXT"),
              std::vector<std::string>{"Valid:Шевченко"});

    // An empty address is passed on as it is, beside the recipient's name.
    inst.dir.write("vedris.ini", "[General]\nClientAssessments=alpha, beta\nRRGAddress=\n");
    std::filesystem::remove(inst.dir.file("mail"));
    run(client, "acSend");
    ASSERT_TRUE(waitFor([&] { return std::filesystem::exists(inst.dir.file("mail")); }, 10));
    std::vector<std::string> arguments = splitNul(readFile(inst.dir.file("mail")));
    ASSERT_EQ(arguments.size(), 7u);
    EXPECT_EQ(arguments[4], "Регіональна робоча група <>");

    pumpFor(0.2);
    EXPECT_TRUE(boxes().empty());
    EXPECT_TRUE(client.w().ReportedErrors().empty());
}

TEST_F(SaveSendTest, SendStopsWhenNothingIsSubmitted) {
    Client client(inst);
    ASSERT_TRUE(client.started);
    run(client, "acSend"); // no assessment page bound
    answerAlpha(client);
    client.frame("doc.defaultView.allowLeave = false;");
    run(client, "acSend");
    pumpFor(0.5);
    EXPECT_FALSE(std::filesystem::exists(inst.dir.file("mail")));
    EXPECT_TRUE(boxes().empty());

    // With no mail client at all nothing is shown either.
    client.frame("doc.defaultView.allowLeave = true;");
    std::filesystem::remove(inst.dir.file("bin/xdg-email"));
    PathFirst restore(inst.dir.file("bin"));
    setenv("PATH", inst.dir.file("bin").c_str(), 1);
    run(client, "acSend");
    pumpFor(0.2);
    EXPECT_TRUE(boxes().empty());
    EXPECT_TRUE(client.w().ReportedErrors().empty());
}

// The chooser itself: GTK's folder dialog, modal over the window, nothing chosen in advance;
// its answer arrives after it has closed.
TEST(FolderChooser, ShowsAModalFolderDialogAndReportsTheAnswer) {
    TempDir dir;
    std::filesystem::create_directories(dir.file("Папка"));
    GtkWindow* owner = GTK_WINDOW(gtk_window_new());
    gtk_window_present(owner);

    auto findDialog = []() -> GtkWindow* {
        GListModel* toplevels = gtk_window_get_toplevels();
        for (guint i = 0; i < g_list_model_get_n_items(toplevels); ++i) {
            auto* window = GTK_WINDOW(g_list_model_get_item(toplevels, i));
            g_object_unref(window);
            if (GTK_IS_FILE_CHOOSER(window) && gtk_widget_get_visible(GTK_WIDGET(window)))
                return window;
        }
        return nullptr;
    };

    for (bool accept : {false, true}) {
        std::optional<std::optional<std::string>> answer;
        desktop::SelectResultsFolder(
            owner, SaveTitle, [&](const std::optional<std::string>& folder) { answer = folder; });
        GtkWindow* dialog = nullptr;
        ASSERT_TRUE(waitFor([&] { return (dialog = findDialog()) != nullptr; }));
        EXPECT_FALSE(answer.has_value());
        EXPECT_STREQ(gtk_window_get_title(dialog), SaveTitle.c_str());
        EXPECT_TRUE(gtk_window_get_modal(dialog));
        EXPECT_EQ(gtk_window_get_transient_for(dialog), owner);
        EXPECT_EQ(gtk_file_chooser_get_action(GTK_FILE_CHOOSER(dialog)),
                  GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER);
        GFile* preselected = gtk_file_chooser_get_file(GTK_FILE_CHOOSER(dialog));
        EXPECT_EQ(preselected, nullptr);
        if (preselected)
            g_object_unref(preselected);

        if (accept) {
            // With no entry selected, a folder chooser answers with the folder it shows.
            GFile* folder = g_file_new_for_path(dir.file("Папка").c_str());
            gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(dialog), folder, nullptr);
            g_object_unref(folder);
            ASSERT_TRUE(waitFor([&] {
                GFile* shown = gtk_file_chooser_get_file(GTK_FILE_CHOOSER(dialog));
                char* path = shown ? g_file_get_path(shown) : nullptr;
                bool there = path && dir.file("Папка") == path;
                g_free(path);
                if (shown)
                    g_object_unref(shown);
                return there;
            }));
        }
        G_GNUC_BEGIN_IGNORE_DEPRECATIONS
        gtk_dialog_response(GTK_DIALOG(dialog), accept ? GTK_RESPONSE_ACCEPT : GTK_RESPONSE_CANCEL);
        G_GNUC_END_IGNORE_DEPRECATIONS
        ASSERT_TRUE(waitFor([&] { return answer.has_value(); }));
        EXPECT_EQ(findDialog(), nullptr);
        if (accept)
            EXPECT_EQ(*answer, dir.file("Папка"));
        else
            EXPECT_FALSE(answer->has_value());
    }
    gtk_window_destroy(owner);
}

} // namespace
