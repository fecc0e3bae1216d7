// Drafts on real files: the durable round trip, damaged and misnamed drafts, and which
// controls of a changed page a draft still reaches.
#include "session/DraftStore.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/TempDir.h"

using namespace vedris;
using test::readFile;
using test::TempDir;

namespace {

nlohmann::json Text(const std::string& name, const std::string& value) {
    return {
        {"tag", "input"}, {"type", "text"}, {"name", name}, {"value", value}, {"checked", false}};
}
nlohmann::json Box(const std::string& type, const std::string& name, const std::string& value,
                   bool checked) {
    return {
        {"tag", "input"}, {"type", type}, {"name", name}, {"value", value}, {"checked", checked}};
}
nlohmann::json Select(const std::string& name, std::vector<std::pair<std::string, bool>> options) {
    nlohmann::json o = nlohmann::json::array();
    for (const auto& [value, selected] : options)
        o.push_back({{"value", value}, {"selected", selected}});
    return {{"tag", "select"}, {"name", name}, {"multiple", false}, {"options", o}};
}
nlohmann::json Snapshot(nlohmann::json elements) {
    return {{"hasForm", true}, {"elements", std::move(elements)}};
}

TEST(DraftStore, WritesDurablyReadsBackAndRemoves) {
    TempDir dir;
    DraftStore store(dir.file("Results") + "/");
    Draft draft{"альфа", "ALPHA", "2026-01-02T03:04:05", DraftStore::Now(),
                Snapshot({Text("A1.TEXT", "Київ \"центр\"\n")})};
    store.Write(draft);

    EXPECT_EQ(store.PathOf("альфа"), dir.file("Results/drafts/альфа.json"));
    auto back = store.Read("альфа");
    ASSERT_TRUE(back);
    EXPECT_EQ(DraftStore::Serialize(*back), DraftStore::Serialize(draft));
    // Only the draft itself: no temporary left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.file("Results/drafts")),
                            std::filesystem::directory_iterator()),
              1);
    EXPECT_EQ(DraftStore::Readable("2026-01-02T03:04:05+0200"), "02.01.2026 03:04:05");

    store.Remove("альфа");
    EXPECT_FALSE(store.Read("альфа"));
    EXPECT_NO_THROW(store.Remove("альфа"));
}

TEST(DraftStore, AnUnusableDraftIsRefusedAndMovedAsideWhole) {
    TempDir dir;
    DraftStore store(dir.file("Results") + "/");
    for (const char* text :
         {"{\"format\": \"vedris-dr", "[1, 2]", "{\"format\": \"vedris-draft\", \"version\": 1}",
          "{\"format\": \"vedris-draft\", \"version\": 1, \"assessment\": \"a\","
          " \"ident\": \"A\", \"base\": \"\", \"saved\": \"\", \"snapshot\": "
          "{\"elements\": [{\"name\": 5}]}}"}) {
        dir.write("Results/drafts/a.json", text);
        EXPECT_THROW(store.Read("a"), DraftError) << text;
    }
    const std::string aside = store.MoveAside("a");
    EXPECT_FALSE(std::filesystem::exists(dir.file("Results/drafts/a.json")));
    EXPECT_EQ(aside.rfind(dir.file("Results/drafts/a.json.damaged-"), 0), 0u);
    EXPECT_NE(readFile(aside).find("\"name\": 5"), std::string::npos);
    // A second one within the same second does not replace the first.
    dir.write("Results/drafts/a.json", "x");
    EXPECT_NE(store.MoveAside("a"), aside);

    // A name with folders never leaves the drafts folder.
    for (const char* name : {"../results", "a/b", "..", ""})
        EXPECT_THROW(store.Write(Draft{name, "", "", "", Snapshot(nlohmann::json::array())}),
                     DraftError)
            << name;
    EXPECT_FALSE(std::filesystem::exists(dir.file("Results/results.json")));
}

TEST(DraftWrites, ReachTheControlsThatStillMatchWhereverTheyStand) {
    nlohmann::json draft = Snapshot({
        {{"tag", "form"}, {"name", "f"}, {"value", ""}},
        Text("Q1.T", "перше"),
        Box("radio", "Q2.R", "x", false),
        Box("radio", "Q2.R", "y", true),
        Box("checkbox", "Q3.C", "p", true),
        Select("Q4.S", {{"", false}, {"два", true}}),
        Text("GONE.T", "зникле"),
        Text("Q5.T", "перший із двох"),
        Text("Q5.T", "другий із двох"),
        Text("SAME.T", "як на сторінці"),
    });
    // The page has changed: a new field first, one control gone, options reordered, one
    // of the two fields of Q5 left, and Q1 now a text area.
    nlohmann::json page = Snapshot({
        Text("NEW.T", ""),
        Box("radio", "Q2.R", "y", false),
        Box("radio", "Q2.R", "x", true),
        {{"tag", "textarea"}, {"name", "Q1.T"}, {"value", ""}},
        Select("Q4.S", {{"два", false}, {"", true}, {"три", false}}),
        Box("checkbox", "Q3.C", "p", false),
        Text("Q5.T", ""),
        Text("SAME.T", "як на сторінці"),
        {{"tag", "input"}, {"type", "submit"}, {"name", "go"}, {"value", "Далі"}},
    });
    nlohmann::json expected = nlohmann::json::array({
        {{"i", 2}, {"checked", false}},
        {{"i", 1}, {"checked", true}},
        {{"i", 5}, {"checked", true}},
        {{"i", 4}, {"selected", {true, false, false}}},
        {{"i", 6}, {"value", "перший із двох"}},
    });
    EXPECT_EQ(DraftWrites(draft, page), expected);
}

// What work raises, run as user uid of group gid with a strict umask ("ok" when nothing).
std::string AsMemberOfGroup(uid_t uid, gid_t gid, const std::function<void()>& work) {
    int out[2];
    if (pipe(out) != 0)
        return "(pipe)";
    pid_t pid = fork();
    if (pid == 0) {
        close(out[0]);
        std::string text = "ok";
        if (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0)
            text = "(setuid)";
        umask(077);
        try {
            if (text == "ok")
                work();
        } catch (const std::exception& e) {
            text = e.what();
        }
        _exit(write(out[1], text.data(), text.size()) == static_cast<ssize_t>(text.size()) ? 0 : 1);
    }
    close(out[1]);
    std::string text;
    char buf[512];
    for (ssize_t n; (n = read(out[0], buf, sizeof buf)) > 0;)
        text.append(buf, static_cast<size_t>(n));
    close(out[0]);
    waitpid(pid, nullptr, 0);
    return text;
}

// Members of the results folder's group take turns at one installation: what one drafted,
// the next may read, replace and remove, whatever their umask.
TEST(DraftStore, MembersOfTheGroupTakeTurnsWithTheDrafts) {
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to start processes as other users";
    TempDir dir;
    std::filesystem::permissions(dir.path(), std::filesystem::perms(0755));
    const gid_t group = 61600;
    const std::string results = dir.file("Results") + "/";
    std::filesystem::create_directory(results);
    ASSERT_EQ(chown(results.c_str(), 0, group), 0);
    ASSERT_EQ(chmod(results.c_str(), 02770), 0);
    const DraftStore store(results);
    auto draft = [](const std::string& name) {
        return Draft{name, "ID", "", DraftStore::Now(), Snapshot({Text("Q.T", name)})};
    };
    EXPECT_EQ(AsMemberOfGroup(61601, group, [&] { store.Write(draft("alpha")); }), "ok");
    EXPECT_EQ(AsMemberOfGroup(61602, group,
                              [&] {
                                  if (!store.Read("alpha"))
                                      throw std::runtime_error("no draft");
                                  store.Write(draft("alpha"));
                                  store.Write(draft("beta"));
                                  store.Remove("beta");
                              }),
              "ok");
    EXPECT_EQ(AsMemberOfGroup(61601, group, [&] { store.Remove("alpha"); }), "ok");
    EXPECT_FALSE(std::filesystem::exists(store.PathOf("alpha")));
}

} // namespace
