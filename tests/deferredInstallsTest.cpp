#include "manager/install/elevatedTask.h"
#include "manager/pluginManager.h"

#include "installFixture.h"

using namespace pluginManager;

namespace
{
// A manager without stored state whose home folder, and so its VST3 folder, is the test's own.
class DeferredInstalls : public installTests::InstallFixture
{
protected:
    static Asset build(const std::string& product, const std::string& format = "VST3")
    {
        return {product, format, "1.0.0", PlatformUtils::getCurrentOS(), PlatformUtils::getCurrentArch(), "zip", "",
                Channel::Public, "", ""};
    }

    // An install unpacked into its own work folder, waiting for its copy into the plug-in folder.
    void defer(ElevatedBatch& batch, const std::string& product, const std::string& destination)
    {
        work.write(product + "/root/" + product + ".vst3/plugin.so", product);
        batch.jobs.push_back({work.file(product + "/root"), destination});
        batch.workFolders.push_back(work.file(product));
        batch.records.push_back({build(product), {product + ".vst3"}});
    }

    testSupport::ScopedEnv home{"HOME", work.file("home")};
    const std::string plugins = work.file("plugins");
    PluginManager manager{false};
};
}

TEST_F(DeferredInstalls, OnlyTheArrivedInstallIsRecordedAndNoWorkFolderStays)
{
    ElevatedBatch batch;
    EXPECT_TRUE(manager.finishPending(batch, error)) << "an empty batch is done at once";
    EXPECT_TRUE(logMessages().empty());
    // Beta goes elsewhere than the folder the next install would choose.
    const std::string elsewhere = work.file("elsewhere");
    defer(batch, "Alpha", plugins);
    defer(batch, "Beta", elsewhere);
    // Beta is already in place, as if the elevated run had copied it; of Alpha a hidden file is missing.
    work.write("Alpha/root/Alpha.vst3/.hidden", "x");
    work.write("plugins/Alpha.vst3/plugin.so", "Alpha");
    work.write("elsewhere/Beta.vst3/plugin.so", "Beta");

    EXPECT_FALSE(manager.finishPending(batch, error));
    EXPECT_EQ(error, "This system has no way of asking for administrator rights.");
    EXPECT_EQ(logMessages(), (std::vector<std::string>{"Install Alpha VST3 1.0.0 -> " + plugins + ": " + error,
                                                       "Install Beta VST3 1.0.0 -> " + elsewhere + ": ok"}));
    const InstalledPlugins stored(true);
    ASSERT_EQ(stored.entries.size(), 1u);
    EXPECT_EQ(stored.entries.front().path, elsewhere + "/Beta.vst3");
    EXPECT_FALSE(work.exists("Alpha") || work.exists("Beta"));
    EXPECT_TRUE(batch.jobs.empty() && batch.workFolders.empty() && batch.records.empty());
    EXPECT_TRUE(leftInTemp().empty()) << "job files are removed";

    // One job is one elevated copy, even when it is already in place.
    defer(batch, "Beta", plugins);
    EXPECT_FALSE(manager.finishPending(batch, error));
    EXPECT_EQ(logMessages().back(), "Install Beta VST3 1.0.0 -> " + plugins + ": " + error);
}

// Without the server's time of a self-update, its listed date alone tells later whether a build is newer.
TEST_F(DeferredInstalls, ASelfUpdateIsRecordedWithoutTheServerTimeWhenItCannotBeRead)
{
    Asset self = build("PluginManager", "Standalone");
    self.channel = Channel::Donators;
    self.date = "2024-05-02 09:00";
    self.url = closedUrl("/PluginManager.zip");
    manager.installPaths.setSelfBuild("2024-05-01 10:00", 99);
    EXPECT_TRUE(manager.recordSelfUpdate(self, error));
    const InstallPaths stored(true);
    EXPECT_EQ(stored.selfBuildListed + " " + std::to_string(stored.selfBuildModified), "2024-05-02 09:00 0");
}
