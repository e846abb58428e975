#include "manager/pluginManager.h"

#include "httpFixture.h"
#include "support/scopedEnv.h"

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
class UpdateDecisions : public httpTests::CatalogFixture
{
protected:
    void SetUp() override
    {
        CatalogFixture::SetUp();
        PlatformUtils::setSearchPaths(PluginFormat::VST3, {plugins});
        manager.installPaths.set(PluginFormat::VST3, plugins);
    }

    void TearDown() override
    {
        PlatformUtils::setSearchPaths(PluginFormat::VST3, {});
        CatalogFixture::TearDown();
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
        work.write("plugins/" + product + ".vst3/Contents/x", "x");
        manager.installed.set(build(product, version, Channel::Donators, listed), plugins, {product + ".vst3"},
                              modified);
    }

    // This program's own version, listed on the donators channel as 2024-05-02 09:00, with the
    // server time of the running build on record.
    void offerThisVersionOnDonators()
    {
        const Credentials login{"donor", "secret"};
        catalog.publicProducts({CatalogServer::product("PluginManager", "pluginmanager")});
        catalog.publicBuilds({});
        catalog.channelFolder("pluginmanager", Channel::Donators, {ownBuildFile}, login);
        manager.setCredentials(Channel::Donators, "pluginmanager", login);
        manager.installPaths.selfBuildModified = recordedModified;
    }

    const std::string ownBuildFile = CatalogServer::build("PluginManager", "Standalone", "2.2.27");
    const std::string ownDonatorBuild = CatalogServer::folder("pluginmanager", Channel::Donators) + ownBuildFile;
    testSupport::ScopedEnv home{"HOME", work.file("home")};
    const std::string plugins = work.file("plugins");
    PluginManager manager{false};
};
}

TEST_F(UpdateDecisions, AFileIsClearlyOlderOnlyBeyondFourHours)
{
    work.write("plugins/Synth.vst3/Contents/x", "x");
    const juce::File plugin(plugins + "/Synth.vst3");
    const juce::File program = juce::File::getSpecialLocation(juce::File::currentExecutableFile);
    const juce::Time listed(2024, 4, 1, 13, 45, 0, 0, true);
    // hours the file is older than the listing, length of the listed stamp, clearly older
    const std::tuple<double, size_t, bool> cases[] = {{3, 16, false}, {5, 16, true}, {5, 15, false}};
    for (const auto& [hours, length, older] : cases)
    {
        SCOPED_TRACE(testing::Message() << hours << " hours, stamp of " << length);
        ASSERT_TRUE(plugin.setLastModificationTime(listed - juce::RelativeTime::hours(hours)));
        offer({build("Synth", "1.0.0", Channel::Donators, std::string("2024-05-01 13:45").substr(0, length))});
        EXPECT_EQ(manager.isOutdated("Synth", "VST3", "", "1.0.0"), older);

        // Without a recorded date the program's own build goes by the program file.
        const juce::Time programListed = program.getLastModificationTime() + juce::RelativeTime::hours(hours);
        const std::string stamp = programListed.formatted("%Y-%m-%d %H:%M").toStdString().substr(0, length);
        const Asset self = build("PluginManager", "2.2.27", Channel::Donators, stamp, "Standalone");
        EXPECT_EQ(manager.isNewerBuild(self), older);
    }
}

TEST_F(UpdateDecisions, OnlyALaterChannelListingIsANewerBuild)
{
    install("Synth", "1.0.0", "2024-05-01 10:00");
    const std::tuple<Channel, std::string, bool> cases[] = {
        {Channel::Donators, "2024-05-02 09:00", true},
        {Channel::Public, "2024-05-02 09:00", false},
        {Channel::Internal, "2024-05-01 09:00", false},
        {Channel::Internal, "", false},
    };
    for (const auto& [channel, date, newer] : cases)
    {
        SCOPED_TRACE(channelToString(channel) + " " + date);
        offer({build("Synth", "1.0.0", channel, date)});
        EXPECT_EQ(manager.isNewerBuild(manager.catalog.assets().front()), newer);
        EXPECT_EQ(manager.installAction("Synth", "VST3", true, "1.0.0", "1.0.0"),
                  newer ? InstallAction::Update : InstallAction::Install);
    }
    EXPECT_EQ(manager.installAction("Synth", "VST3", true, "0.9", "1.0.0"), InstallAction::Update);
    EXPECT_EQ(manager.installAction("Synth", "VST3", true, "1.1", "1.0.0"), InstallAction::Downgrade);
}

TEST_F(UpdateDecisions, LastModifiedConfirmsANewerBuild)
{
    install("Synth", "1.0.0", "2024-05-01 10:00", recordedModified);
    Asset asset = build("Synth", "1.0.0", Channel::Donators, "2024-05-02 09:00");
    asset.url = catalog.server.url("/files/Synth.zip");
    catalog.serveFile("/files/Synth.zip", "zip", laterLastModified);
    EXPECT_TRUE(manager.confirmNewerBuild(asset));
    catalog.serveFile("/files/Synth.zip", "zip", earlierLastModified);
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
    catalog.publicBuilds({ownBuildFile, CatalogServer::build("PluginManager", "Standalone", "2.3.0")});
    EXPECT_TRUE(manager.refresh(error)) << error;
    ASSERT_TRUE(manager.selfUpdate.has_value());
    EXPECT_EQ(manager.selfUpdate->version, "2.3.0");
}

TEST_F(UpdateDecisions, RefreshOffersTheSameVersionOnlyWhenListedLaterAndModifiedLater)
{
    offerThisVersionOnDonators();
    // the listing date on record, the build's Last-Modified, offered
    const std::tuple<std::string, std::string, bool> cases[] = {
        // First, while the manager's own catalog is empty: the request needs the folder's login all the same.
        {"2024-05-01 10:00", earlierLastModified, false},
        {"2024-05-01 10:00", laterLastModified, true},
        {"2024-05-02 09:00", laterLastModified, false},
    };
    for (const auto& [recordedListed, lastModified, offered] : cases)
    {
        SCOPED_TRACE(recordedListed + " / " + lastModified);
        manager.installPaths.selfBuildListed = recordedListed;
        catalog.serveFile(ownDonatorBuild, "zip", lastModified);
        manager.refresh(error);
        ASSERT_EQ(manager.selfUpdate.has_value(), offered) << error;
        EXPECT_TRUE(!offered || manager.selfUpdate->channel == Channel::Donators);
    }
}

// The asynchronous refresh decides on the settings as they were when it started: its thread
// never reads the manager, which may change or go away meanwhile.
TEST_F(UpdateDecisions, AsynchronousRefreshDecidesOnTheSettingsItStartedWith)
{
    offerThisVersionOnDonators();
    manager.installPaths.selfBuildListed = "2024-05-01 10:00";
    catalog.serveFile(ownDonatorBuild, "zip", laterLastModified);
    catalog.server.stall(CatalogServer::productList, 1, 300);

    bool done = false;
    manager.refreshAsync([&done](bool, const std::string&) { done = true; });
    manager.installPaths.selfBuildListed = "2024-05-02 09:00";
    ASSERT_TRUE(pumpUntil([&done] { return done; }));
    EXPECT_TRUE(manager.selfUpdate.has_value());
}
