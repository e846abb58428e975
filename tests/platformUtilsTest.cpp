#include "manager/platform/platformUtils.h"

#include "support/scopedEnv.h"
#include "support/tempFolder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

using pluginManager::PlatformUtils;
using pluginManager::PluginFormat;
using testSupport::ScopedEnv;
using testSupport::TempFolder;
using Paths = std::vector<std::string>;

namespace
{
TEST(PlatformUtilsFormats, PluginPathsNeedAFormatAndAFolder)
{
    EXPECT_EQ(PlatformUtils::installedFilePath("X", PluginFormat::Unknown, "/p"), "");
    EXPECT_EQ(PlatformUtils::installedFilePath("X", PluginFormat::CLAP, ""), "");
    EXPECT_EQ(PlatformUtils::installedFilePath("X", PluginFormat::CLAP, "/p/"), "/p/X.clap");
    EXPECT_EQ(PlatformUtils::installedFilePath("X", PluginFormat::Standalone, "/p"), "/p/X");

    ScopedEnv home("HOME", "/home/u");
    // An install location the user typed takes "~" as the home folder.
    EXPECT_EQ(PlatformUtils::installedFilePath("X", PluginFormat::CLAP, "~/p"), "/home/u/p/X.clap");
    EXPECT_EQ(PlatformUtils::getSearchPaths(PluginFormat::LV2), (Paths{"/home/u/.lv2", "/usr/lib/lv2", "/usr/local/lib/lv2"}));
    // The program's own folder is no place to look for plug-ins.
    EXPECT_EQ(PlatformUtils::getDefaultPluginPath(PluginFormat::Standalone), "/home/u/.local/bin");
    EXPECT_EQ(PlatformUtils::getSearchPaths(PluginFormat::Standalone), Paths{});
    PlatformUtils::setSearchPaths(PluginFormat::AU, {"/x"});
    EXPECT_EQ(PlatformUtils::getSearchPaths(PluginFormat::AU), Paths{"/x"});
    PlatformUtils::setSearchPaths(PluginFormat::AU, {});
    EXPECT_EQ(PlatformUtils::getSearchPaths(PluginFormat::AU), Paths{});
}

class PlatformUtilsSettings : public testing::Test
{
protected:
    void TearDown() override { PlatformUtils::setSettingsFolder(""); }

    ScopedEnv home{"HOME", "/home/u"};
    ScopedEnv dataHome{"XDG_DATA_HOME", std::nullopt};
    ScopedEnv dataFolder{"VYR_DATA_FOLDER", std::nullopt};
};

TEST_F(PlatformUtilsSettings, ConfigBelowTheMakerFolderUnlessOverridden)
{
    EXPECT_EQ(PlatformUtils::getSettingsPath("settings.xml"), "/home/u/.local/share/Kestavel/PluginManager/config/settings.xml");
    ScopedEnv xdg("XDG_DATA_HOME", "/xdg\\data");
    EXPECT_EQ(PlatformUtils::settingsFolder(), "/xdg/data/Kestavel/PluginManager/");

    PlatformUtils::setSettingsFolder("/s\\t");
    EXPECT_EQ(PlatformUtils::settingsFolder(), "/s/t/");
    EXPECT_EQ(PlatformUtils::getSettingsPath("settings.xml"), "/s/t/settings.xml");
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof(cwd)), nullptr);
    PlatformUtils::setSettingsFolder("relative");
    EXPECT_EQ(PlatformUtils::getSettingsPath("installed.json"), std::string(cwd) + "/relative/installed.json");
    // A settings folder the user typed takes "~" as the home folder.
    PlatformUtils::setSettingsFolder("~/s");
    EXPECT_EQ(PlatformUtils::getSettingsPath("log.txt"), "/home/u/s/log.txt");
    PlatformUtils::setSettingsFolder("");
    EXPECT_EQ(PlatformUtils::getSettingsPath("log.txt"), "/xdg/data/Kestavel/PluginManager/config/log.txt");
}

TEST_F(PlatformUtilsSettings, DataFolderFollowsTheVariable)
{
    {
        ScopedEnv variable("VYR_DATA_FOLDER", "");
        EXPECT_EQ(PlatformUtils::dataFolder("X"), "/home/u/.local/share/Kestavel/X/");
    }
    ScopedEnv xdg("XDG_DATA_HOME", "/xdg");
    EXPECT_EQ(PlatformUtils::romFolder("X"), "/xdg/Kestavel/X/roms/");
    ScopedEnv variable("VYR_DATA_FOLDER", "D:\\vyr");
    EXPECT_EQ(PlatformUtils::dataFolder("X"), "D:/vyr/Kestavel/X/");
    EXPECT_EQ(PlatformUtils::romFolder("X"), "D:/vyr/Kestavel/X/roms/");
    EXPECT_EQ(PlatformUtils::dataFolder(""), "D:/vyr/Kestavel//");
}

TEST(PlatformUtilsLv2Version, FirstUsableQuotedValueOnTheSameLine)
{
    TempFolder temp;
    const auto version = [&](PluginFormat format) {
        return PlatformUtils::getInstalledVersion("Synth", format, temp.path());
    };
    EXPECT_EQ(version(PluginFormat::LV2), "");
    temp.write("Synth.lv2/notes.txt", "doap:revision \"5.0\" .\n");
    temp.write("Synth.lv2/a.ttl", "doap:revision \"\" ;\ndoap:revision\n  \"2.0\" ;\ndoap:revision \"unclosed");
    // Nothing ever writes to it: reading it would wait for ever.
    ASSERT_EQ(mkfifo(temp.file("Synth.lv2/pipe.ttl").c_str(), 0644), 0);
    EXPECT_EQ(version(PluginFormat::LV2), "");
    // The unusable file may be listed first or last; either way the usable one decides.
    temp.write("Synth.lv2/b.ttl", "<urn:x> doap:revision \" 3.1 \" ;\n    doap:revision \"9\" .\n");
    EXPECT_EQ(version(PluginFormat::LV2), " 3.1 ");
    temp.write("Synth.vst3/Synth.ttl", "doap:revision \"1.0\" .\n");
    EXPECT_EQ(version(PluginFormat::VST3), "");
}
}
