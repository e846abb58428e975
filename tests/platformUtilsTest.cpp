#include "manager/platformUtils.h"

#include "support/scopedEnv.h"
#include "support/tempFolder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

using pluginManager::PlatformUtils;
using pluginManager::PluginFormat;
using testSupport::ScopedEnv;
using testSupport::TempFolder;

namespace
{
using Paths = std::vector<std::string>;

std::string workingFolder()
{
    char buffer[4096];
    return getcwd(buffer, sizeof(buffer)) ? buffer : "";
}

TEST(PlatformUtilsFormats, TextsMatchExactlyInBothDirections)
{
    const std::vector<std::pair<PluginFormat, std::string>> table{
        {PluginFormat::VST2, "VST2"}, {PluginFormat::VST3, "VST3"}, {PluginFormat::CLAP, "CLAP"},
        {PluginFormat::LV2, "LV2"},   {PluginFormat::AU, "AU"},     {PluginFormat::Standalone, "Standalone"}};
    for (const auto& [format, text] : table)
    {
        EXPECT_EQ(PlatformUtils::formatToString(format), text);
        EXPECT_EQ(PlatformUtils::formatFromString(text), format) << text;
    }
    for (const char* text : {"vst3", " VST3", "VST3 ", "", "Unknown", "standalone"})
        EXPECT_EQ(PlatformUtils::formatFromString(text), PluginFormat::Unknown) << '"' << text << '"';
    EXPECT_EQ(PlatformUtils::formatToString(PluginFormat::Unknown), "Unknown");
    EXPECT_EQ(PlatformUtils::formatToString(static_cast<PluginFormat>(7)), "Unknown");
    EXPECT_EQ(PlatformUtils::formatToString(static_cast<PluginFormat>(-1)), "Unknown");
}

TEST(PlatformUtilsFormats, ThisPlatformAndItsFormats)
{
    EXPECT_EQ(PlatformUtils::getCurrentOS(), "linux");
    // The kernel names the processor the way the release file names do.
    utsname system{};
    ASSERT_EQ(uname(&system), 0);
    EXPECT_EQ(PlatformUtils::getCurrentArch(), system.machine);
    EXPECT_EQ(PlatformUtils::getAvailableFormats(),
              (std::vector<PluginFormat>{PluginFormat::VST3, PluginFormat::CLAP, PluginFormat::LV2}));
}

TEST(PlatformUtilsFormats, PluginFileNamesAndInstalledPaths)
{
    EXPECT_EQ(PlatformUtils::pluginFileName("X", PluginFormat::VST2), "X.so");
    EXPECT_EQ(PlatformUtils::pluginFileName("X", PluginFormat::AU), "X.component");
    EXPECT_EQ(PlatformUtils::pluginFileName("X", PluginFormat::LV2), "X.lv2");
    EXPECT_EQ(PlatformUtils::pluginFileName("X", PluginFormat::Standalone), "X");
    EXPECT_EQ(PlatformUtils::pluginFileName("", PluginFormat::VST3), ".vst3");
    EXPECT_EQ(PlatformUtils::pluginFileName("", PluginFormat::Standalone), "");
    EXPECT_EQ(PlatformUtils::pluginFileName("X", PluginFormat::Unknown), "");
    EXPECT_EQ(PlatformUtils::pluginFileName("X", static_cast<PluginFormat>(42)), "");

    EXPECT_EQ(PlatformUtils::installedFilePath("X", PluginFormat::CLAP, ""), "");
    EXPECT_EQ(PlatformUtils::installedFilePath("X", PluginFormat::CLAP, "/p/"), "/p/X.clap");
    EXPECT_EQ(PlatformUtils::installedFilePath("X", PluginFormat::CLAP, "/p"), "/p/X.clap");
    EXPECT_EQ(PlatformUtils::installedFilePath("X", PluginFormat::Unknown, "/p"), "");
    EXPECT_EQ(PlatformUtils::installedFilePath("", PluginFormat::Standalone, "/p"), "");
}

TEST(PlatformUtilsFormats, InstalledMeansAFileOrFolderIsThere)
{
    TempFolder temp;
    temp.write("X.clap", "plug-in");
    ASSERT_EQ(mkdir(temp.file("X.vst3").c_str(), 0775), 0);
    EXPECT_TRUE(PlatformUtils::isPluginInstalled("X", PluginFormat::CLAP, temp.path()));
    EXPECT_TRUE(PlatformUtils::isPluginInstalled("X", PluginFormat::VST3, temp.path()));
    EXPECT_FALSE(PlatformUtils::isPluginInstalled("X", PluginFormat::LV2, temp.path()));
    EXPECT_FALSE(PlatformUtils::isPluginInstalled("X", PluginFormat::CLAP, ""));
    EXPECT_FALSE(PlatformUtils::isPluginInstalled("X", PluginFormat::Unknown, temp.path()));
}

class PlatformUtilsSearchPaths : public testing::Test
{
protected:
    void TearDown() override
    {
        for (int format = 0; format <= 6; ++format)
            PlatformUtils::setSearchPaths(static_cast<PluginFormat>(format), {});
    }

    ScopedEnv home{"HOME", "/home/u"};
};

TEST_F(PlatformUtilsSearchPaths, DefaultFolderThenSystemFolders)
{
    EXPECT_EQ(PlatformUtils::getSearchPaths(PluginFormat::LV2), (Paths{"/home/u/.lv2", "/usr/lib/lv2", "/usr/local/lib/lv2"}));
    EXPECT_EQ(PlatformUtils::getSearchPaths(PluginFormat::VST2), (Paths{"/home/u/.vst", "/usr/lib/vst", "/usr/local/lib/vst"}));
    EXPECT_EQ(PlatformUtils::getSearchPaths(PluginFormat::AU), Paths{});
    EXPECT_EQ(PlatformUtils::getSearchPaths(PluginFormat::Standalone), Paths{});
    EXPECT_EQ(PlatformUtils::getSearchPaths(PluginFormat::Unknown), Paths{});

    EXPECT_EQ(PlatformUtils::getDefaultPluginPath(PluginFormat::VST3), "/home/u/.vst3");
    EXPECT_EQ(PlatformUtils::getDefaultPluginPath(PluginFormat::CLAP), "/home/u/.clap");
    EXPECT_EQ(PlatformUtils::getDefaultPluginPath(PluginFormat::Standalone), "/home/u/.local/bin");
    EXPECT_EQ(PlatformUtils::getDefaultPluginPath(PluginFormat::AU), "");
    EXPECT_EQ(PlatformUtils::getDefaultPluginPath(static_cast<PluginFormat>(9)), "");

    ScopedEnv slashedHome("HOME", "/home/u/");
    EXPECT_EQ(PlatformUtils::getDefaultPluginPath(PluginFormat::LV2), "/home/u/.lv2");
}

TEST_F(PlatformUtilsSearchPaths, ReplacementListsWinUntilCleared)
{
    PlatformUtils::setSearchPaths(PluginFormat::AU, {"/x"});
    PlatformUtils::setSearchPaths(PluginFormat::Standalone, {"/bin-a", "/bin-b"});
    EXPECT_EQ(PlatformUtils::getSearchPaths(PluginFormat::AU), Paths{"/x"});
    EXPECT_EQ(PlatformUtils::getSearchPaths(PluginFormat::Standalone), (Paths{"/bin-a", "/bin-b"}));
    EXPECT_EQ(PlatformUtils::getSearchPaths(PluginFormat::VST3).size(), 3u);

    PlatformUtils::setSearchPaths(PluginFormat::AU, {});
    EXPECT_EQ(PlatformUtils::getSearchPaths(PluginFormat::AU), Paths{});
    EXPECT_EQ(PlatformUtils::getSearchPaths(PluginFormat::Standalone), (Paths{"/bin-a", "/bin-b"}));
}

class PlatformUtilsFolders : public testing::Test
{
protected:
    void TearDown() override { PlatformUtils::setSettingsFolder(""); }

    ScopedEnv home{"HOME", "/home/u"};
    ScopedEnv dataHome{"XDG_DATA_HOME", std::nullopt};
    ScopedEnv dataFolder{"VYR_DATA_FOLDER", std::nullopt};
};

TEST_F(PlatformUtilsFolders, SettingsLiveInConfigBelowTheMakerFolder)
{
    EXPECT_EQ(PlatformUtils::settingsFolder(), "/home/u/.local/share/Kestavel/PluginManager/");
    EXPECT_EQ(PlatformUtils::getSettingsPath("settings.xml"), "/home/u/.local/share/Kestavel/PluginManager/config/settings.xml");

    ScopedEnv xdg("XDG_DATA_HOME", "/xdg\\data");
    EXPECT_EQ(PlatformUtils::settingsFolder(), "/xdg/data/Kestavel/PluginManager/");
    EXPECT_EQ(PlatformUtils::getSettingsPath("installed.json"), "/xdg/data/Kestavel/PluginManager/config/installed.json");
}

TEST_F(PlatformUtilsFolders, SettingsOverrideIsTheFolderItself)
{
    PlatformUtils::setSettingsFolder("/s");
    EXPECT_EQ(PlatformUtils::settingsFolder(), "/s/");
    EXPECT_EQ(PlatformUtils::getSettingsPath("settings.xml"), "/s/settings.xml");
    EXPECT_EQ(PlatformUtils::getSettingsPath("log.txt"), "/s/log.txt");

    PlatformUtils::setSettingsFolder("/s\\inner\\");
    EXPECT_EQ(PlatformUtils::getSettingsPath("credentials.xml"), "/s/inner/credentials.xml");

    PlatformUtils::setSettingsFolder("relative/place");
    EXPECT_EQ(PlatformUtils::getSettingsPath("settings.xml"), workingFolder() + "/relative/place/settings.xml");

    // An empty text brings the default back.
    PlatformUtils::setSettingsFolder("");
    EXPECT_EQ(PlatformUtils::getSettingsPath("settings.xml"), "/home/u/.local/share/Kestavel/PluginManager/config/settings.xml");
}

TEST_F(PlatformUtilsFolders, DataFolderFollowsTheVariableElseTheUserDataFolder)
{
    EXPECT_EQ(PlatformUtils::dataFolder("X"), "/home/u/.local/share/Kestavel/X/");
    {
        ScopedEnv xdg("XDG_DATA_HOME", "/xdg");
        EXPECT_EQ(PlatformUtils::dataFolder("X"), "/xdg/Kestavel/X/");
        ScopedEnv variable("VYR_DATA_FOLDER", "/d");
        EXPECT_EQ(PlatformUtils::dataFolder("X"), "/d/Kestavel/X/");
        EXPECT_EQ(PlatformUtils::romFolder("X"), "/d/Kestavel/X/roms/");
    }
    {
        ScopedEnv variable("VYR_DATA_FOLDER", "");
        EXPECT_EQ(PlatformUtils::dataFolder("X"), "/home/u/.local/share/Kestavel/X/");
    }
    ScopedEnv variable("VYR_DATA_FOLDER", "D:\\vyr\\");
    EXPECT_EQ(PlatformUtils::dataFolder("X"), "D:/vyr/Kestavel/X/");
    EXPECT_EQ(PlatformUtils::dataFolder(""), "D:/vyr/Kestavel//");
    EXPECT_EQ(PlatformUtils::romFolder(""), "D:/vyr/Kestavel//roms/");
}

TEST(PlatformUtilsFiles, RestrictToOwnerLeavesOnlyOwnerReadAndWrite)
{
    TempFolder temp;
    temp.write("credentials.xml", "<x/>");
    const std::string file = temp.file("credentials.xml");
    ASSERT_EQ(chmod(file.c_str(), 0664), 0);
    PlatformUtils::restrictToOwner(file);
    struct stat info;
    ASSERT_EQ(stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    PlatformUtils::restrictToOwner("");
}

class PlatformUtilsLv2Version : public testing::Test
{
protected:
    std::string version(PluginFormat format = PluginFormat::LV2) const
    {
        return PlatformUtils::getInstalledVersion("Synth", format, temp.path());
    }

    TempFolder temp;
};

TEST_F(PlatformUtilsLv2Version, TakesTheFirstQuotedValueOnTheSameLine)
{
    temp.write("Synth.lv2/manifest.ttl", "@prefix doap: <http://usefulinc.com/ns/doap#> .\n");
    temp.write("Synth.lv2/Synth.ttl", "<urn:x>\n    doap:revision \" 1.4.2 \" ;\n    doap:revision \"9\" .\n");
    EXPECT_EQ(version(), " 1.4.2 ");
}

TEST_F(PlatformUtilsLv2Version, SkipsEmptyAndBrokenValuesButKeepsLooking)
{
    temp.write("Synth.lv2/a.ttl", "doap:revision \"\" ;\ndoap:revision\n  \"2.0\" ;\n");
    temp.write("Synth.lv2/b.ttl", "doap:revision \"3.1\" .\n");
    EXPECT_EQ(version(), "3.1");
}

TEST_F(PlatformUtilsLv2Version, NothingUsableGivesEmpty)
{
    EXPECT_EQ(version(), "");

    ASSERT_EQ(mkdir(temp.file("Synth.lv2").c_str(), 0775), 0);
    EXPECT_EQ(version(), "");

    temp.write("Synth.lv2/Synth.ttl", "doap:revision \"\" .\ndoap:revision \"1.0\n\" .\ndoap:revision \"unclosed");
    temp.write("Synth.lv2/other.txt", "doap:revision \"5.0\" .\n");
    EXPECT_EQ(version(), "");
}

TEST_F(PlatformUtilsLv2Version, OnlyAnLv2BundleFolderIsRead)
{
    temp.write("Synth.vst3/Synth.ttl", "doap:revision \"1.0\" .\n");
    EXPECT_EQ(version(PluginFormat::VST3), "");

    temp.write("Synth.lv2", "doap:revision \"1.0\" .\n");
    EXPECT_EQ(version(), "");
}
}
