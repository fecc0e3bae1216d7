#include "settings/uRegistry.h"

#include <filesystem>
#include <gtest/gtest.h>

#include "support/TempDir.h"

using vedris::ClientRegistry;
using vedris::TClientRegistry;
using vedris::test::TempDir;
namespace fs = std::filesystem;

TEST(TClientRegistry, FolderValuesComeFromTheApplicationFolderOnly) {
    TempDir tmp;
    const std::string bin = tmp.path().string() + "/Tools/Bin/";
    tmp.write("Tools/Bin/client.ini", "[General]\n"
                                      "AssessmentsDir=/somewhere/else/\n"
                                      "ResultsDir=/somewhere/else/\n"
                                      "TransformationsDir=\n"
                                      "AppDir=/somewhere/else/\n");
    TClientRegistry reg(bin + "client.ini");
    // Neither folder exists, and none is looked for.
    EXPECT_EQ(reg.GetValue("AssessmentsDir"), bin + "Assessments/");
    EXPECT_EQ(reg.GetValue("ResultsDir"), bin + "Results/");
    EXPECT_EQ(reg.GetValue("TransformationsDir"), bin + "Assessments/");
    EXPECT_EQ(reg.GetValue("AppDir"), bin);
    EXPECT_EQ(reg.GetValue("assessmentsdir"), bin + "Assessments/");
    EXPECT_EQ(reg.GetValue("RESULTSDIR"), bin + "Results/");
    EXPECT_EQ(reg.GetValue("transformationsDIR"), bin + "Assessments/");
}

TEST(TClientRegistry, DefaultsWithoutASettingsFile) {
    TempDir tmp;
    TClientRegistry reg(tmp.file("client.ini"));
    EXPECT_EQ(reg.GetValue("ClientAssessments"), "");
    EXPECT_EQ(reg.GetValue("RRGAddress"), vedris::DefaultRRGAddress);
    EXPECT_EQ(reg.GetValue("Zoom"), "");
    EXPECT_EQ(reg.GetValue("SpellCheck"), "0");
    EXPECT_EQ(reg.GetValue("ClientId"), "NONAME");
    EXPECT_EQ(reg.GetValue("NewCandidate"), "1");
    EXPECT_EQ(reg.GetValue("ConnectionString"), "");
    EXPECT_EQ(reg.GetValue("Unknown"), "");
    EXPECT_FALSE(fs::exists(tmp.file("client.ini")));
}

TEST(TClientRegistry, ConfiguredValuesWhateverTheNamesCase) {
    TempDir tmp;
    TClientRegistry reg(tmp.write("client.ini", "[GENERAL]\r\n"
                                                "ClientAssessments=Anketa, #Test One#, math\r\n"
                                                "rrgaddress=\"results@school.ua\"\r\n"
                                                "ClientId=\r\n"
                                                "newcandidate = 0\r\n"
                                                "ConnectionString=db\r\n"));
    EXPECT_EQ(reg.GetValue("ClientAssessments"), "Anketa, #Test One#, math");
    EXPECT_EQ(reg.GetValue("clientassessments"), "Anketa, #Test One#, math");
    EXPECT_EQ(reg.GetValue("CLIENTASSESSMENTS"), "Anketa, #Test One#, math");
    EXPECT_EQ(reg.GetValue("RRGAddress"), "results@school.ua");
    EXPECT_EQ(reg.GetValue("RrgAddress"), "results@school.ua");
    // Present but empty is not the default.
    EXPECT_EQ(reg.GetValue("ClientId"), "");
    EXPECT_EQ(reg.GetValue("connectionstring"), "db");
    EXPECT_EQ(reg.GetValue("NewCandidate"), "0");

    tmp.write("client.ini", "[General]\nClientAssessments=нова_анкета\n");
    EXPECT_EQ(reg.GetValue("ClientAssessments"), "нова_анкета");
    EXPECT_EQ(reg.GetValue("ClientId"), "NONAME");
}

TEST(ClientSettings, FileNameReplacesTheExecutablesExtension) {
    using vedris::SettingsFileNameFor;
    EXPECT_EQ(SettingsFileNameFor("/opt/bin/client.exe"), "/opt/bin/client.ini");
    EXPECT_EQ(SettingsFileNameFor("/opt/bin/vedris"), "/opt/bin/vedris.ini");
    EXPECT_EQ(SettingsFileNameFor("/opt/v1.2/vedris"), "/opt/v1.2/vedris.ini");
    EXPECT_EQ(SettingsFileNameFor("/opt/bin/client.v2.bin"), "/opt/bin/client.v2.ini");

    // This test program lies in the build's bin folder.
    const std::string bin = fs::canonical(VEDRIS_BIN_DIR).string();
    EXPECT_EQ(vedris::ClientSettingsFileName(), bin + "/uRegistry_test.ini");
}

TEST(ClientSettings, TheGlobalObjectIsCreatedReplacedAndDestroyed) {
    TempDir tmp;
    vedris::CreateClientRegistry(tmp.write("a/client.ini", "[General]\nClientId=A\n"));
    ASSERT_NE(ClientRegistry, nullptr);
    EXPECT_EQ(ClientRegistry->GetValue("AppDir"), tmp.path().string() + "/a/");
    EXPECT_EQ(ClientRegistry->GetValue("ClientId"), "A");

    vedris::CreateClientRegistry(tmp.write("b/client.ini", "[General]\nClientId=B\n"));
    EXPECT_EQ(ClientRegistry->GetValue("ClientId"), "B");

    vedris::CreateClientRegistry();
    EXPECT_EQ(ClientRegistry->GetValue("AppDir"), fs::canonical(VEDRIS_BIN_DIR).string() + "/");

    vedris::DestroyClientRegistry();
    EXPECT_EQ(ClientRegistry, nullptr);
    vedris::DestroyClientRegistry();
}
