// Installs the record lists outside the folder the manager would use now, and their removal.
#include "manager/pluginManager.h"

#include "support/tempFolder.h"

#include <gtest/gtest.h>

using namespace pluginManager;

TEST(ManagerRemoval, AStrayInstallIsOneStillOnDiskOutsideTheFolderTheNextInstallWouldUse)
{
    testSupport::TempFolder root;
    PlatformUtils::setSettingsFolder(root.file("settings"));
    PlatformUtils::setSearchPaths(PluginFormat::VST3, {root.file("old")});
    PluginManager manager(false);
    manager.installPaths.set(PluginFormat::VST3, root.file("chosen"));
    root.write("old/Aurora.vst3/Contents/a.so", "old");
    root.write("chosen/Vireo.vst3/Contents/v.so", "kept where it is");
    for (const auto& [product, format, folder] : {std::tuple{"Aurora", "VST3", "old"}, {"Vireo", "VST3", "chosen"},
                                                  {"Gone", "VST3", "old"}, {"Odd", "vst3", "old"}})
        manager.installed.entries.push_back(
            {product, format, "1.0.0", root.file(folder + std::string("/") + product + ".vst3"), "", "", 0, {}});

    const std::vector<InstalledPlugins::Entry> strays = manager.getStrayInstalls();
    ASSERT_EQ(strays.size(), 1u);
    EXPECT_EQ(strays[0].product, "Aurora");
    std::string message;
    EXPECT_FALSE(manager.removeStray(manager.installed.entries[3], message));
    EXPECT_EQ(message, "Unknown format vst3");
    EXPECT_TRUE(manager.removeStray(strays[0], message));
    EXPECT_EQ(message, "Aurora VST3 removed");
    EXPECT_FALSE(root.exists("old/Aurora.vst3"));
    EXPECT_TRUE(manager.getStrayInstalls().empty());
    EXPECT_EQ(manager.installed.entries.size(), 3u);

    PlatformUtils::setSearchPaths(PluginFormat::VST3, {});
    PlatformUtils::setSettingsFolder("");
}
