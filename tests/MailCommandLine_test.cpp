// The command line that hands a message to the user's mail client.
#include "platform/desktop/MailCommandLine.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include <glib.h>

#include "support/TempDir.h"

using namespace vedris;
using vedris::test::readFile;
using vedris::test::TempDir;

namespace {

// The real xdg-email takes the command line as it is, whatever the locale, and builds the
// mailto address that the mail client gets. Its hook script stands in for the client.
TEST(MailCommandLine, TheRealXdgEmailTakesIt) {
    if (!std::filesystem::exists("/usr/bin/xdg-email"))
        GTEST_SKIP() << "xdg-utils is not installed";
    TempDir dir;
    dir.write("bin/xdg-email-hook.sh", "#!/bin/sh\nprintf '%s' \"$1\" > '" + dir.file("uri.tmp") +
                                           "'\nmv '" + dir.file("uri.tmp") + "' '" +
                                           dir.file("uri") + "'\n");
    std::filesystem::permissions(dir.file("bin/xdg-email-hook.sh"),
                                 std::filesystem::perms::owner_all);
    std::string attachment = dir.write("Результати/results.xml", "<qti_result_report/>");

    const char* path = std::getenv("PATH");
    gchar** env = g_get_environ();
    env = g_environ_setenv(env, "PATH", (dir.file("bin") + ":" + (path ? path : "")).c_str(), TRUE);
    env = g_environ_setenv(env, "LC_ALL", "C", TRUE);
    for (const std::string& address : {std::string("rrg@oblast.example"), std::string()}) {
        std::filesystem::remove(dir.file("uri"));
        std::vector<std::string> arguments = MailCommandLine(
            {"Анкетні дані ведриса", "Регіональна робоча група", address, attachment});
        std::vector<char*> argv;
        for (std::string& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        ASSERT_TRUE(g_spawn_sync(nullptr, argv.data(), env, G_SPAWN_SEARCH_PATH_FROM_ENVP, nullptr,
                                 nullptr, nullptr, nullptr, nullptr, nullptr));
        for (int i = 0; i < 500 && !std::filesystem::exists(dir.file("uri")); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        gchar* decoded = g_uri_unescape_string(readFile(dir.file("uri")).c_str(), nullptr);
        std::string uri = decoded ? decoded : "";
        g_free(decoded);
        EXPECT_NE(uri.find("subject=Анкетні дані ведриса"), std::string::npos) << uri;
        EXPECT_NE(uri.find("to=Регіональна робоча група <" + address + ">"), std::string::npos)
            << uri;
        EXPECT_NE(uri.find("attach=" + attachment), std::string::npos) << uri;
        EXPECT_EQ(uri.find("body="), std::string::npos) << uri;
    }
    g_strfreev(env);
}

} // namespace
