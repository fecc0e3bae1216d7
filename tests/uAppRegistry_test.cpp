#include "settings/uAppRegistry.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <stdexcept>

#include "support/TempDir.h"

using vedris::TAppRegistry;
using vedris::test::readFile;
using vedris::test::TempDir;
namespace fs = std::filesystem;

namespace {

// Runs a test step in another current folder and goes back afterwards.
class InFolder {
public:
    explicit InFolder(const fs::path& dir) : old_(fs::current_path()) { fs::current_path(dir); }
    ~InFolder() { fs::current_path(old_); }

private:
    fs::path old_;
};

std::string errorOf(const std::function<void()>& step) {
    try {
        step();
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "no error";
}

// A settings folder <tmp>/Tools/Bin with the settings file client.ini (written only when
// text is given).
struct Layout {
    TempDir tmp;
    std::string root = tmp.path().string();
    std::string bin = root + "/Tools/Bin/";
    std::string ini = bin + "client.ini";

    explicit Layout(const std::string* text = nullptr) {
        fs::create_directories(bin);
        if (text)
            tmp.write("Tools/Bin/client.ini", *text);
    }
};

} // namespace

TEST(TAppRegistry, AppDirIsTheSettingsFilesFolderWhateverTheNamesCase) {
    Layout l;
    TAppRegistry reg(l.ini);
    EXPECT_EQ(reg.GetAppDir(), l.bin);
    EXPECT_EQ(reg.GetValue("AppDir"), l.bin);
    EXPECT_EQ(reg.GetValue("appdir"), l.bin);
    EXPECT_EQ(reg.GetValue("APPDIR"), l.bin);

    TAppRegistry dotted(l.root + "/Tools/./Other/../Bin/client.ini");
    EXPECT_EQ(dotted.GetAppDir(), l.bin);

    InFolder here(l.root + "/Tools");
    TAppRegistry relative("Bin/client.ini");
    EXPECT_EQ(relative.GetAppDir(), l.bin);
}

TEST(TAppRegistry, UnknownNamesReadEmptyAndWriteNothing) {
    Layout l;
    TAppRegistry reg(l.ini);
    EXPECT_EQ(reg.GetValue("ClientId"), "");
    EXPECT_EQ(reg.GetValue(""), "");
    reg.SetValue("AppDir", "/elsewhere/");
    reg.SetValue("TransformationsDir", "/elsewhere/");
    reg.SetValue("Anything", "x");
    EXPECT_FALSE(fs::exists(l.ini));
    EXPECT_EQ(reg.GetValue("AppDir"), l.bin);
}

TEST(TAppRegistry, ConnectionStringReadsAndWritesTheGeneralSection) {
    Layout l;
    TAppRegistry reg(l.ini);
    EXPECT_EQ(reg.GetValue("ConnectionString"), "");
    reg.SetValue("connectionSTRING", "Server=база; User=тест");
    EXPECT_EQ(readFile(l.ini), "[General]\nConnectionString=Server=база; User=тест\n");
    EXPECT_EQ(reg.GetValue("ConnectionString"), "Server=база; User=тест");
    EXPECT_EQ(reg.GetConnectionString(), "Server=база; User=тест");

    // The file is read again at every request.
    l.tmp.write("Tools/Bin/client.ini", "[general]\nconnectionstring='edited'\n");
    EXPECT_EQ(reg.GetValue("ConnectionString"), "edited");
}

TEST(TAppRegistry, DefaultTransformationsDirLiesBesideTheApplicationFolder) {
    Layout l;
    TAppRegistry reg(l.ini);
    EXPECT_EQ(errorOf([&] { reg.GetValue("TransformationsDir"); }),
              "Відсутній необхідний каталог " + l.root + "/Tools/Transformations/.");
    fs::create_directory(l.root + "/Tools/Transformations");
    EXPECT_EQ(reg.GetValue("transformationsdir"), l.root + "/Tools/Transformations/");
}

TEST(TAppRegistry, ConfiguredTransformationsDirInItsThreeForms) {
    const std::string text = "[General]\nTransformationsDir=../Xslt\n";
    Layout l(&text);
    fs::create_directories(l.root + "/Tools/Xslt");
    fs::create_directories(l.root + "/Here/Xslt");
    TAppRegistry reg(l.ini);

    // A leading full stop: against the application folder.
    EXPECT_EQ(reg.GetValue("TransformationsDir"), l.root + "/Tools/Xslt/");

    // Absolute, with or without the trailing separator.
    l.tmp.write("Tools/Bin/client.ini",
                "[General]\nTransformationsDir=" + l.root + "/Tools/Xslt\n");
    EXPECT_EQ(reg.GetValue("TransformationsDir"), l.root + "/Tools/Xslt/");
    l.tmp.write("Tools/Bin/client.ini",
                "[General]\nTransformationsDir=\"" + l.root + "/Tools/Xslt/\"\n");
    EXPECT_EQ(reg.GetValue("TransformationsDir"), l.root + "/Tools/Xslt/");

    // Relative without a full stop: against the current folder, not the application folder.
    l.tmp.write("Tools/Bin/client.ini", "[General]\nTransformationsDir=Xslt\n");
    {
        InFolder here(l.root + "/Here");
        EXPECT_EQ(reg.GetValue("TransformationsDir"), l.root + "/Here/Xslt/");
    }
    {
        InFolder there(l.root);
        EXPECT_EQ(errorOf([&] { reg.GetValue("TransformationsDir"); }),
                  "Відсутній необхідний каталог " + l.root + "/Xslt/.");
    }
}

TEST(TAppRegistry, EmptyTransformationsDirKeyIsAnError) {
    const std::string text = "[General]\nTransformationsDir=\n";
    Layout l(&text);
    TAppRegistry reg(l.ini);
    const std::string message = errorOf([&] { reg.GetValue("TransformationsDir"); });
    EXPECT_NE(message.find("TransformationsDir"), std::string::npos) << message;
    EXPECT_NE(message.find("порожній"), std::string::npos) << message;
    EXPECT_NE(message.find(l.ini), std::string::npos) << message;

    l.tmp.write("Tools/Bin/client.ini", "[General]\nTransformationsDir=\"\"\n");
    EXPECT_EQ(errorOf([&] { reg.GetValue("TransformationsDir"); }), message);
}

TEST(TAppRegistry, CheckDirNormalisesAndVerifies) {
    Layout l;
    fs::create_directories(l.root + "/Tools/Xslt");
    TAppRegistry reg(l.ini);
    EXPECT_EQ(reg.CheckDir("."), l.bin);
    EXPECT_EQ(reg.CheckDir("./"), l.bin);
    EXPECT_EQ(reg.CheckDir("./../Xslt/./"), l.root + "/Tools/Xslt/");
    EXPECT_EQ(reg.CheckDir(".."), l.root + "/Tools/");
    EXPECT_EQ(reg.CheckDir(l.root + "/Tools//Bin/../Xslt"), l.root + "/Tools/Xslt/");
    EXPECT_EQ(reg.CheckDir("/"), "/");
    {
        InFolder here(l.root + "/Tools");
        EXPECT_EQ(reg.CheckDir("Xslt/../Bin"), l.bin);
    }
    EXPECT_EQ(errorOf([&] { reg.CheckDir("../Missing"); }),
              "Відсутній необхідний каталог " + l.root + "/Tools/Missing/.");
    // A file is no folder.
    l.tmp.write("Tools/file", "x");
    EXPECT_EQ(errorOf([&] { reg.CheckDir(l.root + "/Tools/file"); }),
              "Відсутній необхідний каталог " + l.root + "/Tools/file/.");
    EXPECT_NE(errorOf([&] { reg.CheckDir(""); }), "no error");
}

TEST(TAppRegistry, DefaultTransformationsDirFollowsAnOverriddenAppDir) {
    struct Moved : TAppRegistry {
        std::string dir;
        Moved(const std::string& file, std::string d) : TAppRegistry(file), dir(std::move(d)) {}
        vedris::Variant GetValue(const std::string& Name) override {
            return vedris::SameName(Name, "AppDir") ? dir : TAppRegistry::GetValue(Name);
        }
    };
    Layout l;
    fs::create_directories(l.root + "/Else/Transformations");
    Moved reg(l.ini, l.root + "/Else/Sub/");
    EXPECT_EQ(reg.GetValue("TransformationsDir"), l.root + "/Else/Transformations/");
}
