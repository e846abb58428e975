#include "manager/pluginManager.h"

#include "support/catalogServer.h"
#include "support/scopedEnv.h"
#include "support/tempFolder.h"
#include "support/testEndpoints.h"

#include <gtest/gtest.h>
#include <juce_events/juce_events.h>

using namespace pluginManager;
using testSupport::CatalogServer;

namespace
{
// 2024-05-01 12:00:00 UTC, the server time recorded at install in these tests.
const std::int64_t recordedModified = 1714564800;
const char* const laterLastModified = "Wed, 01 May 2024 13:00:00 GMT";
const char* const earlierLastModified = "Wed, 01 May 2024 11:00:00 GMT";

// A manager without stored state whose VST3 plug-ins live in a folder of the test's own, and whose
// endpoints lie on a loopback catalog server.
class UpdateDecisions : public ::testing::Test
{
protected:
    void SetUp() override
    {
        PlatformUtils::setSettingsFolder(temp.file("settings"));
        PlatformUtils::setSearchPaths(PluginFormat::VST3, {plugins});
        manager.installPaths.set(PluginFormat::VST3, plugins);
        testSupport::pointEndpointsAt(catalog.server.url("/"));
    }

    void TearDown() override
    {
        testSupport::pointEndpointsAt(testSupport::closedLoopbackBase());
        PlatformUtils::setSearchPaths(PluginFormat::VST3, {});
        PlatformUtils::setSettingsFolder("");
    }

    static Asset build(const std::string& product, const std::string& version, Channel channel,
                       const std::string& date, const std::string& format = "VST3")
    {
        return {product, format, version, PlatformUtils::getCurrentOS(), PlatformUtils::getCurrentArch(), "zip", "",
                channel, date, ""};
    }

    void offer(const std::vector<Asset>& builds)
    {
        manager.catalog = Catalog();
        manager.catalog.addAssets(builds);
    }

    // The product's bundle on disk, recorded as installed from a build of that version.
    void install(const std::string& product, const std::string& version, const std::string& listed,
                 std::int64_t modified = 0)
    {
        temp.write("plugins/" + product + ".vst3/Contents/x", "x");
        manager.installed.set(build(product, version, Channel::Donators, listed), plugins, {product + ".vst3"},
                              modified);
    }

    void serveLastModified(const std::string& path, const std::string& lastModified)
    {
        catalog.server.setReply(path, {200, "zip", "application/zip", {{"Last-Modified", lastModified}}});
    }

    testSupport::TempFolder temp;
    testSupport::ScopedEnv home{"HOME", temp.file("home")};
    const std::string plugins = temp.file("plugins");
    CatalogServer catalog;
    PluginManager manager{false};
};
}

TEST_F(UpdateDecisions, AFileIsClearlyOlderOnlyBeyondFourHours)
{
    temp.write("plugins/Synth.vst3/Contents/x", "x");
    const juce::File plugin(plugins + "/Synth.vst3");
    const juce::File program = juce::File::getSpecialLocation(juce::File::currentExecutableFile);
    const juce::Time listed(2024, 4, 1, 13, 45, 0, 0, true);
    struct Case
    {
        double hoursOlder;
        size_t stampLength;
        bool older;
    };
    const Case cases[] = {{3, 16, false}, {5, 16, true}, {5, 15, false}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.hoursOlder << " hours, stamp of " << c.stampLength);
        ASSERT_TRUE(plugin.setLastModificationTime(listed - juce::RelativeTime::hours(c.hoursOlder)));
        offer({build("Synth", "1.0.0", Channel::Donators, std::string("2024-05-01 13:45").substr(0, c.stampLength))});
        EXPECT_EQ(manager.isOutdated("Synth", "VST3", "", "1.0.0"), c.older);

        // Without a recorded date the program's own build goes by the program file.
        const auto selfStamp = (program.getLastModificationTime() + juce::RelativeTime::hours(c.hoursOlder))
                                   .formatted("%Y-%m-%d %H:%M")
                                   .toStdString();
        const Asset self = build("PluginManager", "2.2.27", Channel::Donators, selfStamp.substr(0, c.stampLength),
                                 "Standalone");
        EXPECT_EQ(manager.isNewerBuild(self), c.older);
    }
}

TEST_F(UpdateDecisions, OnlyALaterChannelListingIsANewerBuild)
{
    install("Synth", "1.0.0", "2024-05-01 10:00");
    struct Case
    {
        Channel channel;
        std::string date;
        bool newer;
    };
    const Case cases[] = {
        {Channel::Donators, "2024-05-02 09:00", true},
        {Channel::Public, "2024-05-02 09:00", false},
        {Channel::Internal, "2024-05-01 09:00", false},
        {Channel::Internal, "", false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(channelToString(c.channel) + " " + c.date);
        offer({build("Synth", "1.0.0", c.channel, c.date)});
        EXPECT_EQ(manager.isNewerBuild(manager.catalog.assets().front()), c.newer);
        EXPECT_EQ(manager.installAction("Synth", "VST3", true, "1.0.0", "1.0.0"),
                  c.newer ? InstallAction::Update : InstallAction::Install);
    }
    EXPECT_EQ(manager.installAction("Synth", "VST3", true, "0.9", "1.0.0"), InstallAction::Update);
    EXPECT_EQ(manager.installAction("Synth", "VST3", true, "1.1", "1.0.0"), InstallAction::Downgrade);
}

TEST_F(UpdateDecisions, LastModifiedConfirmsANewerBuild)
{
    install("Synth", "1.0.0", "2024-05-01 10:00", recordedModified);
    Asset asset = build("Synth", "1.0.0", Channel::Donators, "2024-05-02 09:00");
    asset.url = catalog.server.url("/files/Synth.zip");
    serveLastModified("/files/Synth.zip", laterLastModified);
    EXPECT_TRUE(manager.confirmNewerBuild(asset));
    serveLastModified("/files/Synth.zip", earlierLastModified);
    EXPECT_FALSE(manager.confirmNewerBuild(asset));
    catalog.server.setStatus("/files/Synth.zip", 500);
    EXPECT_TRUE(manager.confirmNewerBuild(asset));

    // Nothing recorded to compare with: confirmed without asking.
    install("Synth", "1.0.0", "2024-05-01 10:00", 0);
    EXPECT_TRUE(manager.confirmNewerBuild(asset));
    EXPECT_EQ(catalog.server.requestCount("/files/Synth.zip"), 3u);
}

TEST_F(UpdateDecisions, AnEffectVariantIsMeasuredAgainstItsMainProduct)
{
    offer({build("Synth", "2.0.0", Channel::Public, ""), build("SynthFX", "1.0.0", Channel::Public, "")});
    EXPECT_FALSE(manager.hasUpdate("Synth"));
    install("SynthFX", "1.0.0", "");
    EXPECT_TRUE(manager.hasUpdate("Synth"));
    install("SynthFX", "2.0.0", "");
    EXPECT_FALSE(manager.hasUpdate("Synth"));
}

TEST_F(UpdateDecisions, RefreshOffersANewerVersionOfTheProgram)
{
    catalog.publicProducts({CatalogServer::product("PluginManager", "")});
    catalog.publicBuilds({CatalogServer::build("PluginManager", "Standalone", "2.2.27"),
                          CatalogServer::build("PluginManager", "Standalone", "2.3.0")});
    std::string error;
    EXPECT_TRUE(manager.refresh(error)) << error;
    ASSERT_TRUE(manager.selfUpdate.has_value());
    EXPECT_EQ(manager.selfUpdate->version, "2.3.0");

    // The asynchronous form hands the same decision over on the message thread.
    manager.selfUpdate.reset();
    juce::MessageManager::getInstance();
    bool done = false;
    manager.refreshAsync([&done](bool, const std::string&) { done = true; });
    for (int round = 0; round < 500 && !done; ++round)
        juce::MessageManager::getInstance()->runDispatchLoopUntil(20);
    juce::MessageManager::deleteInstance();
    ASSERT_TRUE(done);
    ASSERT_TRUE(manager.selfUpdate.has_value());
    EXPECT_EQ(manager.selfUpdate->version, "2.3.0");
}

TEST_F(UpdateDecisions, RefreshOffersTheSameVersionOnlyWhenListedLaterAndModifiedLater)
{
    const Credentials login{"donor", "secret"};
    const std::string file = CatalogServer::build("PluginManager", "Standalone", "2.2.27");
    catalog.publicProducts({CatalogServer::product("PluginManager", "pluginmanager")});
    catalog.publicBuilds({});
    // Listed as 2024-05-02 09:00.
    catalog.channelFolder("pluginmanager", Channel::Donators, {file}, login);
    manager.setCredentials(Channel::Donators, "pluginmanager", login);
    manager.installPaths.selfBuildModified = recordedModified;
    struct Case
    {
        std::string recordedListed;
        std::string lastModified;
        bool offered;
    };
    const Case cases[] = {
        {"2024-05-01 10:00", laterLastModified, true},
        {"2024-05-01 10:00", earlierLastModified, false},
        {"2024-05-02 09:00", laterLastModified, false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.recordedListed + " / " + c.lastModified);
        manager.installPaths.selfBuildListed = c.recordedListed;
        serveLastModified(CatalogServer::folder("pluginmanager", Channel::Donators) + file, c.lastModified);
        std::string error;
        manager.refresh(error);
        ASSERT_EQ(manager.selfUpdate.has_value(), c.offered) << error;
        if (c.offered)
        {
            EXPECT_EQ(manager.selfUpdate->channel, Channel::Donators);
        }
    }
}

// The asynchronous refresh decides on the settings as they were when it started: its thread
// never reads the manager, which may change or go away meanwhile.
TEST_F(UpdateDecisions, AsynchronousRefreshDecidesOnTheSettingsItStartedWith)
{
    const Credentials login{"donor", "secret"};
    const std::string file = CatalogServer::build("PluginManager", "Standalone", "2.2.27");
    catalog.publicProducts({CatalogServer::product("PluginManager", "pluginmanager")});
    catalog.publicBuilds({});
    catalog.channelFolder("pluginmanager", Channel::Donators, {file}, login);
    manager.setCredentials(Channel::Donators, "pluginmanager", login);
    manager.installPaths.selfBuildModified = recordedModified;
    manager.installPaths.selfBuildListed = "2024-05-01 10:00";
    serveLastModified(CatalogServer::folder("pluginmanager", Channel::Donators) + file, laterLastModified);
    catalog.server.stall(CatalogServer::productList, 1, 300);

    juce::MessageManager::getInstance();
    bool done = false;
    manager.refreshAsync([&done](bool, const std::string&) { done = true; });
    manager.installPaths.selfBuildListed = "2024-05-02 09:00";
    for (int round = 0; round < 500 && !done; ++round)
        juce::MessageManager::getInstance()->runDispatchLoopUntil(20);
    juce::MessageManager::deleteInstance();
    ASSERT_TRUE(done);
    EXPECT_TRUE(manager.selfUpdate.has_value());
}
