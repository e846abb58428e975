#include "manager/platform/platformUtils.h"

#include "support/scopedEnv.h"
#include "support/tempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <sys/stat.h>

using namespace pluginManager;
using testSupport::ScopedEnv;

// An install location or settings folder the user typed takes "~" as the home folder, and a relative
// settings folder the working folder; the program's own folder is no place to look for plug-ins.
TEST(PlatformUtilsFolders, PluginSettingsAndDataFolders)
{
    ScopedEnv home{"HOME", "/home/u"}, dataHome{"XDG_DATA_HOME", std::nullopt}, data{"VYR_DATA_FOLDER", ""};
    const auto path = [](PluginFormat format, const std::string& folder)
    { return PlatformUtils::installedFilePath("X", format, folder); };
    EXPECT_EQ(path(PluginFormat::Unknown, "/p") + path(PluginFormat::CLAP, ""), "");
    EXPECT_EQ(path(PluginFormat::CLAP, "/p/") + " " + path(PluginFormat::Standalone, "/p") + " " +
                  path(PluginFormat::CLAP, "~/p"), "/p/X.clap /p/X /home/u/p/X.clap");
    EXPECT_EQ(PlatformUtils::getSearchPaths(PluginFormat::LV2),
              (std::vector<std::string>{"/home/u/.lv2", "/usr/lib/lv2", "/usr/local/lib/lv2"}));
    EXPECT_TRUE(PlatformUtils::getSearchPaths(PluginFormat::Standalone).empty());

    EXPECT_EQ(PlatformUtils::getSettingsPath("a") + " " + PlatformUtils::dataFolder("X"),
              "/home/u/.local/share/Kestavel/PluginManager/config/a /home/u/.local/share/Kestavel/X/");
    ScopedEnv xdg("XDG_DATA_HOME", "/xdg\\data");
    EXPECT_EQ(PlatformUtils::settingsFolder(), "/xdg/data/Kestavel/PluginManager/");
    EXPECT_EQ(PlatformUtils::romFolder("X"), "/xdg/data/Kestavel/X/roms/");
    ScopedEnv variable("VYR_DATA_FOLDER", "D:\\vyr");
    EXPECT_EQ(PlatformUtils::romFolder("X") + " " + PlatformUtils::dataFolder(""),
              "D:/vyr/Kestavel/X/roms/ D:/vyr/Kestavel//");

    const std::pair<std::string, std::string> folders[] = {{"/s\\t", "/s/t/settings.xml"},
        {"relative", std::filesystem::current_path().string() + "/relative/settings.xml"},
        {"~/s", "/home/u/s/settings.xml"}, {"", "/xdg/data/Kestavel/PluginManager/config/settings.xml"}};
    for (const auto& [folder, path] : folders)
    {
        PlatformUtils::setSettingsFolder(folder);
        EXPECT_EQ(PlatformUtils::getSettingsPath("settings.xml"), path) << folder;
    }
}

// Nothing ever writes to the pipe: reading it would wait for ever. A value with a control character
// would reach the terminal. The unusable files may be listed first or last; either way the usable
// one decides.
TEST(PlatformUtilsLv2Version, FirstUsableQuotedValueOnTheSameLine)
{
    testSupport::TempFolder temp;
    const auto version = [&](PluginFormat format)
    { return PlatformUtils::getInstalledVersion("Synth", format, temp.path()); };
    EXPECT_EQ(version(PluginFormat::LV2), "");
    temp.write("Synth.lv2/notes.txt", "doap:revision \"5.0\" .\n");
    temp.write("Synth.lv2/a.ttl", "doap:revision \"\" ;\ndoap:revision\n  \"2.0\" ;\ndoap:revision \"6\x1b[2J\" ;\n"
                                  "doap:revision \"unclosed");
    ASSERT_EQ(mkfifo(temp.file("Synth.lv2/pipe.ttl").c_str(), 0644), 0);
    EXPECT_EQ(version(PluginFormat::LV2), "");
    temp.write("Synth.lv2/b.ttl", "<urn:x> doap:revision \" 3.1 \" ;\n    doap:revision \"9\" .\n");
    EXPECT_EQ(version(PluginFormat::LV2), " 3.1 ");
    temp.write("Synth.vst3/Synth.ttl", "doap:revision \"1.0\" .\n");
    EXPECT_EQ(version(PluginFormat::VST3), "");
}
