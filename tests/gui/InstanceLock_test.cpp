// One client per results folder: two real client processes started on one installation.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "Texts.h"
#include "support/TempDir.h"

using namespace vedris;
using vedris::test::TempDir;

namespace {

// A client process started from a copy of the executable in its own folder, its error
// output collected in a file.
struct Process {
    pid_t pid = -1;
    std::string log;

    Process(const std::string& exe, const std::string& logFile) : log(logFile) {
        pid = fork();
        if (pid == 0) {
            int fd = open(logFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(fd, 2);
            // The client saves and restores the user's page setup; keep it off the real one.
            std::string config = logFile + ".config";
            setenv("XDG_CONFIG_HOME", config.c_str(), 1);
            // A bare machine: no locale at all. The messages must still be readable.
            unsetenv("LANG");
            unsetenv("LANGUAGE");
            setenv("LC_ALL", "C", 1);
            execl(exe.c_str(), exe.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
    }
    bool running() {
        if (pid <= 0)
            return false;
        int status = 0;
        return waitpid(pid, &status, WNOHANG) == 0;
    }
    // Sends SIGTERM and waits up to seconds for the process to end; true when it did.
    bool terminate(double seconds) {
        if (pid <= 0)
            return true;
        kill(pid, SIGTERM);
        for (int waited = 0; waited < seconds * 1000; waited += 20) {
            int status = 0;
            if (waitpid(pid, &status, WNOHANG) == pid) {
                pid = -1;
                return true;
            }
            usleep(20 * 1000);
        }
        return false;
    }
    ~Process() {
        if (pid > 0 && !terminate(10)) {
            kill(pid, SIGKILL);
            int status = 0;
            waitpid(pid, &status, 0);
        }
    }
};

bool waitUntil(const std::function<bool()>& done, int ms) {
    for (int waited = 0; waited < ms; waited += 20) {
        if (done())
            return true;
        usleep(20 * 1000);
    }
    return done();
}

// A copy of the built client with the demo assessments in dir; returns the executable.
std::string installClient(const TempDir& dir) {
    const std::string exe = dir.file("vedris");
    std::filesystem::copy_file(VEDRIS_BIN_DIR "/vedris", exe);
    std::filesystem::copy(VEDRIS_SOURCE_DIR "/demo/Assessments", dir.file("Assessments"),
                          std::filesystem::copy_options::recursive);
    dir.write("vedris.ini", "[General]\nClientAssessments=anketa_shkola\n");
    return exe;
}

TEST(InstanceLock, ASecondClientOnTheSameResultsFolderStops) {
    TempDir dir;
    const std::string exe = installClient(dir);
    const std::string results = dir.file("Results/results.xml");

    Process first(exe, dir.file("first.log"));
    // Up once its results file holds the skeleton (it is written first with an empty root).
    ASSERT_TRUE(waitUntil(
        [&] { return vedris::test::readFile(results).find("</result>") != std::string::npos; },
        15000));
    const auto written = std::filesystem::last_write_time(results);
    const std::string content = vedris::test::readFile(results);

    Process second(exe, dir.file("second.log"));
    // It says why in Ukrainian, in UTF-8 under the C locale too, and waits for its box to be
    // closed.
    ASSERT_TRUE(waitUntil(
        [&] {
            return vedris::test::readFile(second.log).find(texts::AlreadyRunningMessage) !=
                   std::string::npos;
        },
        15000))
        << vedris::test::readFile(second.log);
    EXPECT_TRUE(first.running());
    EXPECT_EQ(std::filesystem::last_write_time(results), written);
    EXPECT_EQ(vedris::test::readFile(results), content);

    // The end of a session closes each of them as its window would be closed.
    EXPECT_TRUE(second.terminate(10));
    EXPECT_TRUE(first.terminate(10));
}

TEST(InstanceLock, TheClientHoldingTheFolderRemovesTheTemporariesOfAnInterruptedSave) {
    TempDir dir;
    const std::string exe = installClient(dir);
    const std::string results = dir.write("Results/results.xml", "<qti_result_report/>");
    // Left by a save that was killed; the rest only look alike.
    dir.write("Results/results.xml.tmp-Ab3xY9", "<qti_result_report><result>half");
    dir.write("Results/drafts/alpha.json.tmp-Zz9x0q", "{\"format\"");
    const std::vector<std::string> kept = {"results.xml.tmp-Ab3xY",
                                           "results.xml.tmp-Ab3xY90",
                                           "results.xml.tmp-Ab_xY9",
                                           "other.xml.tmp-Ab3xY9",
                                           "notes.txt",
                                           "drafts/alpha.json",
                                           "drafts/alpha.txt.tmp-Zz9x0q",
                                           "sub/results.xml.tmp-Ab3xY9"};
    for (const std::string& name : kept)
        dir.write("Results/" + name, "keep");
    std::filesystem::create_directory(dir.file("Results/results.xml.tmp-dir123"));
    const std::string outside = dir.write("outside.txt", "keep");
    std::filesystem::create_symlink(outside, dir.file("Results/results.xml.tmp-lnk123"));

    Process client(exe, dir.file("client.log"));
    ASSERT_TRUE(waitUntil(
        [&] { return !std::filesystem::exists(dir.file("Results/results.xml.tmp-Ab3xY9")); },
        15000))
        << vedris::test::readFile(client.log);
    for (const std::string& name : kept)
        EXPECT_EQ(vedris::test::readFile(dir.file("Results/" + name)), "keep") << name;
    EXPECT_FALSE(std::filesystem::exists(dir.file("Results/drafts/alpha.json.tmp-Zz9x0q")));
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("Results/results.xml.tmp-dir123")));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("Results/results.xml.tmp-lnk123")));
    EXPECT_EQ(vedris::test::readFile(outside), "keep");
    EXPECT_EQ(vedris::test::readFile(results), "<qti_result_report/>");
    EXPECT_TRUE(client.terminate(10));
}

} // namespace
