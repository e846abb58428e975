// Whether an install, or this program itself, is offered a newer version or a newer build of the same version.
#include "manager/pluginManager.h"

#include "httpFixture.h"
#include "support/scopedEnv.h"

using namespace pluginManager;
using testSupport::CatalogServer;

namespace
{
// 2024-05-01 12:00:00 UTC, the server time recorded at install in these tests, and answers around it.
const std::int64_t serverTime = 1714564800;
const std::string earlier = "Wed, 01 May 2024 11:00:00 GMT", same = "Wed, 01 May 2024 12:00:00 GMT",
                  later = "Wed, 01 May 2024 13:00:00 GMT";
// Listing dates: that of the installs in these tests, and one of the next day.
const std::string today = "2024-05-01 10:00", tomorrow = "2024-05-02 09:00";
const Channel donators = Channel::Donators;

// A manager without stored state whose home folder, the only one searched for installs, is the
// test's own, and whose endpoints lie on a loopback catalog server.
class UpdateDecisions : public httpTests::CatalogFixture
{
protected:
    UpdateDecisions() { PlatformUtils::setSearchPaths(PluginFormat::VST3, {plugins}); }
    ~UpdateDecisions() override { PlatformUtils::setSearchPaths(PluginFormat::VST3, {}); }

    // Served from the catalog server.
    Asset build(const std::string& product, Channel channel, const std::string& date,
                const std::string& version = "1.0.0", const std::string& format = "VST3") const
    {
        return {product, format, version, PlatformUtils::getCurrentOS(), PlatformUtils::getCurrentArch(), "zip",
                catalog.server.url("/files/" + product + ".zip"), channel, date, ""};
    }

    // The catalog holds only these builds; answers the first.
    const Asset& offer(const std::vector<Asset>& builds)
    {
        manager.catalog = Catalog();
        manager.catalog.addAssets(builds);
        return manager.catalog.assets().front();
    }

    // The product's bundle on disk, recorded as installed from a donators build of that version listed today.
    void install(const std::string& product, const std::string& version, std::int64_t modified = 0)
    {
        work.write("home/.vst3/" + product + ".vst3/Contents/x", "x");
        manager.installed.set(build(product, donators, today, version), plugins, {product + ".vst3"}, modified);
    }

    testSupport::ScopedEnv home{"HOME", work.file("home")};
    const std::string plugins = work.file("home/.vst3");
    PluginManager manager{false};
};
}

// Without a recorded date, the program's own build goes by the program file.
TEST_F(UpdateDecisions, AFileIsClearlyOlderOnlyBeyondFourHours)
{
    work.write("home/.vst3/Synth.vst3/Contents/x", "x");
    const juce::File plugin(plugins + "/Synth.vst3");
    const juce::File program = juce::File::getSpecialLocation(juce::File::currentExecutableFile);
    const juce::Time listed(2024, 4, 1, 13, 45, 0, 0, true);
    // hours the file is older than the listing, length of the listed stamp, clearly older
    const std::tuple<double, size_t, bool> cases[] = {{3, 16, false}, {5, 16, true}, {5, 15, false}};
    for (const auto& [hours, length, older] : cases)
    {
        ASSERT_TRUE(plugin.setLastModificationTime(listed - juce::RelativeTime::hours(hours)));
        offer({build("Synth", donators, std::string("2024-05-01 13:45").substr(0, length))});
        EXPECT_EQ(manager.isOutdated("Synth", "VST3", "", "1.0.0"), older) << hours << " hours, stamp of " << length;
        const juce::Time programListed = program.getLastModificationTime() + juce::RelativeTime::hours(hours);
        const std::string stamp = programListed.formatted("%Y-%m-%d %H:%M").toStdString().substr(0, length);
        EXPECT_EQ(manager.isNewerBuild(build("PluginManager", donators, stamp, "", "Standalone")), older) << stamp;
    }
}

// The install was listed 2024-05-01 10:00. A failed request confirms rather than hides; with no
// server time on record nothing is asked. The rows that ask come first, as a failed one stays failed.
TEST_F(UpdateDecisions, OnlyALaterChannelListingIsANewerBuildAndOnlyALaterServerTimeConfirmsIt)
{
    // the build's channel and listing, the install's server time, the build's Last-Modified ("" fails),
    // a newer build, confirmed
    const std::tuple<Channel, std::string, std::int64_t, std::string, bool, bool> cases[] = {
        {donators, tomorrow, serverTime, later, true, true},   {donators, tomorrow, serverTime, same, true, false},
        {donators, tomorrow, serverTime, earlier, true, false}, {donators, tomorrow, serverTime, "", true, true},
        {donators, tomorrow, 0, earlier, true, true},           {donators, today, 0, "", false, true},
        {Channel::Public, tomorrow, 0, "", false, true},
        {Channel::Internal, "2024-05-01 09:00", 0, "", false, true}, {Channel::Internal, "", 0, "", false, true}};
    for (const auto& [channel, date, stored, lastModified, newer, confirmed] : cases)
    {
        SCOPED_TRACE(date + " " + std::to_string(stored) + " " + lastModified);
        install("Synth", "1.0.0", stored);
        const Asset asset = build("Synth", channel, date);
        catalog.serveFile("/files/Synth.zip", "zip", lastModified);
        EXPECT_EQ(manager.isNewerBuild(offer({asset})), newer);
        EXPECT_EQ(manager.installAction("Synth", "VST3", true, "1.0.0", "1.0.0"),
                  newer ? InstallAction::Update : InstallAction::Install);
        EXPECT_EQ(manager.confirmNewerBuild(asset), confirmed);
    }
    EXPECT_EQ(catalog.server.requestCount("/files/Synth.zip"), 4u);
}

TEST_F(UpdateDecisions, AnEffectVariantIsMeasuredAgainstItsMainProduct)
{
    offer({build("Synth", Channel::Public, "", "2.0.0"), build("SynthFX", Channel::Public, "")});
    EXPECT_FALSE(manager.hasUpdate("Synth"));
    install("SynthFX", "1.0.0");
    EXPECT_TRUE(manager.hasUpdate("Synth"));
    install("SynthFX", "2.0.0");
    EXPECT_FALSE(manager.hasUpdate("Synth"));
}

// The first refresh runs while the manager's own catalog is empty: the request needs the folder's
// login all the same. The asynchronous refresh decides on the settings as they were when it
// started: its thread never reads the manager, which may change or go away meanwhile.
TEST_F(UpdateDecisions, RefreshOffersThisVersionOnlyWhenListedAndModifiedLaterAndANewerVersionAlways)
{
    const Credentials login{"donor", "secret"};
    const std::string ownBuild = CatalogServer::build("PluginManager", "Standalone", "2.2.27");
    catalog.publicProducts({CatalogServer::product("PluginManager", "pluginmanager")});
    catalog.publicBuilds({});
    catalog.channelFolder("pluginmanager", Channel::Donators, {ownBuild}, login);
    manager.setCredentials(Channel::Donators, "pluginmanager", login);
    manager.installPaths.selfBuildModified = serverTime;
    // the listing date on record, the build's Last-Modified, offered
    const std::tuple<std::string, std::string, bool> cases[] = {
        {today, earlier, false}, {today, later, true}, {tomorrow, later, false}};
    for (const auto& [listed, lastModified, offered] : cases)
    {
        manager.installPaths.selfBuildListed = listed;
        catalog.serveFile(CatalogServer::folder("pluginmanager", Channel::Donators) + ownBuild, "zip", lastModified);
        manager.refresh(error);
        ASSERT_EQ(manager.selfUpdate.has_value(), offered) << listed << " " << lastModified << error;
    }

    manager.installPaths.selfBuildListed = today;
    catalog.server.hold(CatalogServer::productList);
    bool done = false;
    manager.refreshAsync([&done](bool, const std::string&) { done = true; });
    manager.installPaths.selfBuildListed = tomorrow;
    catalog.server.release(CatalogServer::productList);
    ASSERT_TRUE(pumpUntil([&done] { return done; }));
    EXPECT_TRUE(manager.selfUpdate.has_value());

    catalog.publicBuilds({CatalogServer::build("PluginManager", "Standalone", "2.3.0")});
    EXPECT_TRUE(manager.refresh(error)) << error;
    EXPECT_EQ(manager.selfUpdate ? manager.selfUpdate->version : "none", "2.3.0");
}
