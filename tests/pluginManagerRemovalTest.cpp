// Installs the record lists outside the folder the manager would use now, and their removal.
#include "manager/pluginManager.h"

#include "support/tempFolder.h"

#include <gtest/gtest.h>

using namespace pluginManager;

namespace
{
InstalledPlugins::Entry entry(const std::string& product, const std::string& format, const std::string& path)
{
    InstalledPlugins::Entry record;
    record.product = product;
    record.format = format;
    record.version = "1.0.0";
    record.path = path;
    return record;
}
}

TEST(ManagerRemoval, AStrayInstallIsOneStillOnDiskOutsideTheFolderTheNextInstallWouldUse)
{
    testSupport::TempFolder root;
    PlatformUtils::setSettingsFolder(root.file("settings"));
    PlatformUtils::setSearchPaths(PluginFormat::VST3, {root.file("old")});
    PluginManager manager(false);
    manager.installPaths.set(PluginFormat::VST3, root.file("chosen"));
    root.write("old/Aurora.vst3/Contents/a.so", "old");
    root.write("chosen/Vireo.vst3/Contents/v.so", "kept where it is");
    manager.installed.entries = {
        entry("Aurora", "VST3", root.file("old/Aurora.vst3")),
        entry("Vireo", "VST3", root.file("chosen/Vireo.vst3")),
        entry("Gone", "VST3", root.file("old/Gone.vst3")),
        entry("Odd", "vst3", root.file("old/Odd.vst3")),
    };

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
