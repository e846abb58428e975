// End-to-end runs of list against a loopback catalog.
#include "manager/state/installPaths.h"
#include "manager/state/installedPlugins.h"

#include "support/catalogServer.h"
#include "support/programRun.h"

#include <gtest/gtest.h>

#include <functional>

using namespace pluginManager;
using testSupport::CatalogServer;
using Paths = std::vector<std::string>;

namespace
{
const Credentials fan{"fan", "pw"}, team{"team", "tpw"};
const auto build = CatalogServer::build;

// Aurora 1.1.0 is on both login channels; Nebula is named by the internal list alone; no list
// names the folder "orphan"; Legacy and one Vireo build are for other systems.
void publishCatalog(CatalogServer& s)
{
    s.publicProducts({s.product("Aurora", "aurora"), s.product("Vireo", "vireo"), s.product("Legacy", "legacy")});
    s.publicBuilds({build("Aurora", "VST3", "1.0.0"), build("Aurora", "CLAP", "1.0.0"), build("AuroraFX", "VST3", "1.0.0"),
                    build("Vireo", "LV2", "2.0.0"), "Kestavel-Vireo-VST3-2.0.0-win64.zip",
                    "Kestavel-Legacy-VST3-0.1-MacOS.zip"});
    s.internalProducts({s.product("Aurora", "aurora"), s.product("Nebula", "nebula")}, team);
    s.channelFolder("aurora", Channel::Donators, {build("Aurora", "VST3", "1.1.0"), build("Aurora", "VST3", "1.0.0")}, fan);
    s.channelFolder("aurora", Channel::Internal, {build("Aurora", "VST3", "1.2.0"), build("Aurora", "VST3", "1.1.0")}, team);
    s.channelFolder("nebula", Channel::Internal, {build("Nebula", "CLAP", "0.9")}, team);
    s.channelFolder("orphan", Channel::Donators, {build("OrphanFX", "VST3", "1.0"), build("Orphan", "CLAP", "1.0")}, fan,
                    {s.product("Orphan Synth", "")});
}

// A server and a fresh home per case, with the logins and team-login switch stored beforehand.
struct World
{
    explicit World(const std::vector<std::pair<std::string, Credentials>>& logins = {}, bool teamLogin = false,
                   const std::function<void(CatalogServer&)>& publish = publishCatalog)
    {
        publish(catalog);
        PlatformUtils::setSettingsFolder(run.settingsFolder());
        CredentialStore stored(false);
        for (const auto& [folder, login] : logins)
            stored.set(folder.empty() ? Channel::Internal : Channel::Donators, folder, login, false);
        stored.save();
        InstallPaths settings(false);
        settings.teamLogin = teamLogin;
        settings.save();
        PlatformUtils::setSettingsFolder("");
    }

    CatalogServer catalog;
    testSupport::ProgramRun run{catalog.server.url("/")};
};

const std::string auroraFxAndVireo = "AuroraFX\tVST3\t1.0.0\tpublic\t\nVireo\tLV2\t2.0.0\tpublic\t\n";
const std::string publicRows = "Aurora\tVST3\t1.0.0\tpublic\t\nAurora\tCLAP\t1.0.0\tpublic\t\n" + auroraFxAndVireo;
const std::string donatorRows = "Aurora\tVST3\t1.1.0\tdonators\t\n" + publicRows;
}

TEST(ListCommand, EachVersionOnceWithTheBestChannelTheStoredLoginsReachAndEachSourceAskedOnce)
{
    const Paths publicSources = {CatalogServer::productList, CatalogServer::versionList, CatalogServer::release};
    const std::string auroraDonators = CatalogServer::folder("aurora", Channel::Donators);
    const auto plus = [&](const Paths& more) {
        Paths all = publicSources;
        all.insert(all.end(), more.begin(), more.end());
        return all;
    };
    struct Case
    {
        World world;
        std::string rows;
        Paths requests;
    };
    Case cases[] = {
        {World(), publicRows, publicSources},
        {World({{"aurora", fan}}), donatorRows, plus({auroraDonators})},
        // While the switch is off not even the internal product list is asked for.
        {World({{"aurora", fan}, {"", team}}), donatorRows, plus({auroraDonators})},
        // One internal login opens every product's folder; missing ones are skipped quietly.
        {World({{"aurora", fan}, {"", team}}, true),
         "Aurora\tVST3\t1.2.0\tinternal\t\n" + donatorRows.substr(0, donatorRows.find("AuroraFX")) +
             "AuroraFX\tVST3\t1.0.0\tpublic\t\nNebula\tCLAP\t0.9\tinternal\t\nVireo\tLV2\t2.0.0\tpublic\t\n",
         {CatalogServer::productList, CatalogServer::internalList, CatalogServer::versionList, CatalogServer::release,
          CatalogServer::folder("aurora", Channel::Internal), auroraDonators, CatalogServer::folder("vireo", Channel::Internal),
          CatalogServer::folder("legacy", Channel::Internal), CatalogServer::folder("nebula", Channel::Internal)}},
        {World({{"aurora", Credentials{"fan", "old"}}}), publicRows, plus({auroraDonators})},
        // The shortest build name of the folder becomes a product; its variant is listed after it.
        {World({{"orphan", fan}}),
         publicRows.substr(0, publicRows.find("Vireo")) + "Orphan\tCLAP\t1.0\tdonators\t\nOrphanFX\tVST3\t1.0\tdonators\t\n" +
             "Vireo\tLV2\t2.0.0\tpublic\t\n",
         plus({CatalogServer::folder("orphan", Channel::Donators), CatalogServer::folder("orphan", Channel::Donators) + "products.json"})},
    };
    for (Case& c : cases)
    {
        const auto result = c.world.run({"list"});
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_EQ(result.out, c.rows);
        EXPECT_EQ(c.world.catalog.requestedPaths(), c.requests);
    }
}

TEST(ListCommand, FilterPicksOneNameAndEachRowShowsTheInstalledVersionOfItsFormat)
{
    World world;
    const std::string folder = world.run.home() + "/.vst3/Kestavel";
    testSupport::writeFile(folder + "/Aurora.vst3/Contents/x", "");
    PlatformUtils::setSettingsFolder(world.run.settingsFolder());
    InstalledPlugins record(false);
    Asset installed;
    parseAssetName(build("Aurora", "VST3", "1.0.0"), installed);
    record.set(installed, folder, {"Aurora.vst3"}, 0);
    record.save();
    PlatformUtils::setSettingsFolder("");

    // filter, standard output, error stream
    const std::tuple<std::string, std::string, std::string> cases[] = {
        {"Aurora", "Aurora\tVST3\t1.0.0\tpublic\t1.0.0\nAurora\tCLAP\t1.0.0\tpublic\t\n", ""},
        {"AuroraFX", "AuroraFX\tVST3\t1.0.0\tpublic\t\n", ""},
        {"Legacy", "", "Nothing available for Legacy\n"},
        {"aurora", "", "Nothing available for aurora\n"},
    };
    for (const auto& [filter, out, err] : cases)
    {
        const auto result = world.run({"list", filter});
        EXPECT_EQ(result.exitCode, out.empty() ? 1 : 0) << filter;
        EXPECT_EQ(result.out, out) << filter;
        EXPECT_EQ(result.err, err) << filter;
    }
}

TEST(ListCommand, AFailedSourceIsAWarningAndWhatTheOthersGaveIsListed)
{
    const auto failing = [](const Paths& paths) {
        return [paths](CatalogServer& catalog) {
            publishCatalog(catalog);
            for (const std::string& path : paths)
                catalog.server.setStatus(path, 500);
        };
    };
    const std::string listFailed = "warning: Could not download the product list\n";
    const std::string nothing = "Nothing available for this platform\n";
    const Credentials oldTeam{"team", "old"};
    struct Case
    {
        World world;
        std::string err, out;
    };
    Case cases[] = {
        // The internal list still names Aurora, so its public builds are listed.
        {World({{"", team}}, true, failing({CatalogServer::productList})), listFailed,
         "Aurora\tVST3\t1.2.0\tinternal\t\nAurora\tVST3\t1.1.0\tinternal\t\nAurora\tVST3\t1.0.0\tpublic\t\n"
         "Aurora\tCLAP\t1.0.0\tpublic\t\nAuroraFX\tVST3\t1.0.0\tpublic\t\nNebula\tCLAP\t0.9\tinternal\t\n"},
        {World({{"", oldTeam}}, true), "warning: Team login: Login rejected\n", publicRows},
        {World({{"", oldTeam}}, true, failing({CatalogServer::productList})), listFailed + nothing, ""},
        {World({}, false, failing({CatalogServer::productList, CatalogServer::versionList, "/api/repos/morvatek/clavendrome/releases"})),
         listFailed + nothing, ""},
    };
    for (Case& c : cases)
    {
        const auto result = c.world.run({"list"});
        const std::string &err = c.err, &out = c.out;
        EXPECT_EQ(result.err, err);
        EXPECT_EQ(result.out, out);
        EXPECT_EQ(result.exitCode, out.empty() ? 1 : 0);
    }
}

TEST(ListCommand, ACommandLineLoginServesOneRunAndIsNeverWritten)
{
    // arguments, error stream, a row of the donators channel, a row of the internal channel
    const std::tuple<std::vector<std::string>, std::string, bool, bool> cases[] = {
        {{"list", "--user", "fan", "--password", "pw", "--channel", "donators", "--product", "Aurora"}, "", true, false},
        {{"list", "--user=team", "--password=tpw"}, "", false, true},
        {{"list", "--user", "fan"}, "--user and --password go together\n", false, false},
        {{"list", "--user", "fan", "--password", ""}, "--user and --password go together\n", false, false},
        {{"list", "--user", "a", "--password", "b", "--channel", "public"}, "Unknown channel: public\n", false, false},
        // Applied before the command word is looked at.
        {{"frobnicate", "--password", "b"}, "--user and --password go together\n", false, false},
    };
    for (const auto& [arguments, err, donators, internal] : cases)
    {
        SCOPED_TRACE(testing::PrintToString(arguments));
        CatalogServer catalog;
        publishCatalog(catalog);
        const testSupport::ProgramRun run(catalog.server.url("/"));
        const auto result = run(arguments);
        EXPECT_EQ(result.exitCode, err.empty() ? 0 : 1);
        EXPECT_EQ(result.err, err);
        EXPECT_EQ(result.out.find("\tdonators\t") != std::string::npos, donators);
        EXPECT_EQ(result.out.find("\tinternal\t") != std::string::npos, internal);
        EXPECT_EQ(catalog.requestedPaths().empty(), !err.empty());
        EXPECT_EQ(run.settingsText("credentials.xml") + run.settingsText("settings.xml"), "");
    }
}
