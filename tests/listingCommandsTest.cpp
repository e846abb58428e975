// End-to-end runs of list: the test build of the program against a loopback catalog.
#include "manager/logins/credentials.h"
#include "manager/state/installPaths.h"
#include "manager/state/installedPlugins.h"

#include "support/catalogServer.h"
#include "support/programRun.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace pluginManager;
using testSupport::CatalogServer;
using testSupport::ProcessResult;
using testSupport::ProgramRun;
using Paths = std::vector<std::string>;

namespace
{
const Credentials fan{"fan", "pw"};
const Credentials team{"team", "tpw"};

std::string build(const std::string& product, const std::string& format, const std::string& version)
{
    return CatalogServer::buildName(product, format, version);
}

// Aurora has public, donator and internal builds (1.1.0 on both login channels), an effect
// variant and builds for other systems; Nebula exists only in the internal product list.
void publishCatalog(CatalogServer& catalog)
{
    catalog.publicProducts({CatalogServer::productJson("Aurora", "aurora"), CatalogServer::productJson("Vireo", "vireo"),
                            CatalogServer::productJson("Legacy", "legacy")});
    catalog.publicBuilds({build("Aurora", "VST3", "1.0.0"), build("Aurora", "CLAP", "1.0.0"),
                          build("AuroraFX", "VST3", "1.0.0"), build("Vireo", "LV2", "2.0.0"),
                          "Kestavel-Vireo-VST3-2.0.0-win64.zip", "Kestavel-Legacy-VST3-0.1-MacOS.zip"});
    catalog.internalProducts({CatalogServer::productJson("Aurora", "aurora"), CatalogServer::productJson("Nebula", "nebula")},
                             team);
    catalog.channelFolder("aurora", Channel::Donators, {build("Aurora", "VST3", "1.1.0"), build("Aurora", "VST3", "1.0.0")},
                          fan);
    catalog.channelFolder("aurora", Channel::Internal, {build("Aurora", "VST3", "1.2.0"), build("Aurora", "VST3", "1.1.0")},
                          team);
    catalog.channelFolder("nebula", Channel::Internal, {build("Nebula", "CLAP", "0.9")}, team);
}

// What the user has stored before the run, written as the program itself would.
struct Stored
{
    std::vector<std::tuple<Channel, std::string, Credentials>> logins;
    bool teamLogin = false;
};

void store(const ProgramRun& run, const Stored& stored)
{
    PlatformUtils::setSettingsFolder(run.settingsFolder());
    CredentialStore credentials(false);
    for (const auto& [channel, slug, login] : stored.logins)
        credentials.set(channel, slug, login, false);
    credentials.save();
    InstallPaths settings(false);
    settings.teamLogin = stored.teamLogin;
    settings.save();
    PlatformUtils::setSettingsFolder("");
}

// A catalog server and a fresh home for each case, so that each request record is the run's own.
struct World
{
    explicit World(const std::function<void(CatalogServer&)>& publish = publishCatalog) { publish(catalog); }

    CatalogServer catalog;
    ProgramRun run{catalog.server.url("/")};
};

const std::string publicRows = "Aurora\tVST3\t1.0.0\tpublic\t\n"
                               "Aurora\tCLAP\t1.0.0\tpublic\t\n"
                               "AuroraFX\tVST3\t1.0.0\tpublic\t\n"
                               "Vireo\tLV2\t2.0.0\tpublic\t\n";
const std::string donatorRows = "Aurora\tVST3\t1.1.0\tdonators\t\n"
                                "Aurora\tVST3\t1.0.0\tpublic\t\n"
                                "Aurora\tCLAP\t1.0.0\tpublic\t\n"
                                "AuroraFX\tVST3\t1.0.0\tpublic\t\n"
                                "Vireo\tLV2\t2.0.0\tpublic\t\n";
}

TEST(ListCommand, ListsEachVersionOnceWithTheBestChannelTheStoredLoginsReach)
{
    const Paths publicSources = {CatalogServer::productListPath(), CatalogServer::publicBuildPaths()[0],
                                 CatalogServer::publicBuildPaths()[1]};
    const auto with = [&](Paths paths) {
        Paths all = publicSources;
        all.insert(all.end(), paths.begin(), paths.end());
        return all;
    };
    const std::string auroraDonators = CatalogServer::folderPath("aurora", Channel::Donators);
    const Credentials wrong{"fan", "old"};

    struct Case
    {
        const char* name;
        Stored stored;
        std::string rows;
        Paths requests;
    };
    const Case cases[] = {
        {"no logins", {}, publicRows, publicSources},
        {"donator login", {{{Channel::Donators, "aurora", fan}}}, donatorRows, with({auroraDonators})},
        // No internal request at all while the switch is off, not even for the product list.
        {"internal login, team login off",
         {{{Channel::Donators, "aurora", fan}, {Channel::Internal, "", team}}, false},
         donatorRows,
         with({auroraDonators})},
        {"internal login, team login on",
         {{{Channel::Donators, "aurora", fan}, {Channel::Internal, "", team}}, true},
         "Aurora\tVST3\t1.2.0\tinternal\t\n" + donatorRows.substr(0, donatorRows.find("AuroraFX")) +
             "AuroraFX\tVST3\t1.0.0\tpublic\t\nNebula\tCLAP\t0.9\tinternal\t\nVireo\tLV2\t2.0.0\tpublic\t\n",
         {CatalogServer::productListPath(), CatalogServer::internalProductsPath(), CatalogServer::publicBuildPaths()[0],
          CatalogServer::publicBuildPaths()[1], CatalogServer::folderPath("aurora", Channel::Internal), auroraDonators,
          // One internal login opens every product's folder; a missing one is skipped quietly.
          CatalogServer::folderPath("vireo", Channel::Internal), CatalogServer::folderPath("legacy", Channel::Internal),
          CatalogServer::folderPath("nebula", Channel::Internal)}},
        // A rejected channel folder is no failure of the refresh.
        {"wrong donator password", {{{Channel::Donators, "aurora", wrong}}}, publicRows, with({auroraDonators})},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        World world;
        store(world.run, c.stored);
        const ProcessResult result = world.run({"list"});
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_EQ(result.out, c.rows);
        EXPECT_EQ(world.catalog.requestedPaths(), c.requests);
    }
}

TEST(ListCommand, FilterPicksOneNameAndShowsTheInstalledVersionOfEachFormat)
{
    World world;
    // Aurora's VST3 lies in a folder of its own below the default folder, as some users keep them.
    const std::string folder = world.run.home() + "/.vst3/Kestavel";
    testSupport::writeFile(folder + "/Aurora.vst3/Contents/x", "");
    PlatformUtils::setSettingsFolder(world.run.settingsFolder());
    InstalledPlugins record(false);
    Asset installed;
    parseAssetName(build("Aurora", "VST3", "1.0.0"), installed);
    record.set(installed, folder, {"Aurora.vst3"}, 0);
    record.save();
    PlatformUtils::setSettingsFolder("");

    // filter, exit code, standard output, error stream
    const std::tuple<std::string, int, std::string, std::string> cases[] = {
        {"Aurora", 0, "Aurora\tVST3\t1.0.0\tpublic\t1.0.0\nAurora\tCLAP\t1.0.0\tpublic\t\n", ""},
        {"AuroraFX", 0, "AuroraFX\tVST3\t1.0.0\tpublic\t\n", ""},
        {"Legacy", 1, "", "Nothing available for Legacy\n"},
        {"aurora", 1, "", "Nothing available for aurora\n"},
    };
    for (const auto& [filter, exitCode, out, err] : cases)
    {
        const ProcessResult result = world.run({"list", filter});
        EXPECT_EQ(result.exitCode, exitCode) << filter;
        EXPECT_EQ(result.out, out) << filter;
        EXPECT_EQ(result.err, err) << filter;
    }
}

TEST(ListCommand, AFailedSourceIsAWarningAndTheOthersAreStillListed)
{
    const auto failing = [](const std::vector<std::string>& paths) {
        return [paths](CatalogServer& catalog) {
            publishCatalog(catalog);
            for (const std::string& path : paths)
                catalog.server.setStatus(path, 500);
        };
    };
    const std::string productListError = "warning: Could not download the product list\n";
    const Stored teamOnly{{{Channel::Internal, "", team}}, true};
    const Stored rejectedTeam{{{Channel::Internal, "", Credentials{"team", "old"}}}, true};
    const Paths everyPublicSource = {CatalogServer::productListPath(), CatalogServer::publicBuildPaths()[0],
                                     "/api/repos/morvatek/clavendrome/releases"};

    struct Case
    {
        const char* name;
        std::function<void(CatalogServer&)> publish;
        Stored stored;
        std::string err;
        std::string out;
    };
    const Case cases[] = {
        // The internal list still names Aurora, so its public builds are listed.
        {"product list", failing({CatalogServer::productListPath()}), teamOnly, productListError,
         "Aurora\tVST3\t1.2.0\tinternal\t\nAurora\tVST3\t1.1.0\tinternal\t\nAurora\tVST3\t1.0.0\tpublic\t\n"
         "Aurora\tCLAP\t1.0.0\tpublic\t\nAuroraFX\tVST3\t1.0.0\tpublic\t\nNebula\tCLAP\t0.9\tinternal\t\n"},
        {"internal list", publishCatalog, rejectedTeam, "warning: Team login: Login rejected\n", publicRows},
        // The first failure is the one reported.
        {"both lists", failing({CatalogServer::productListPath()}), rejectedTeam, productListError + "Nothing available for this platform\n", ""},
        {"every source", failing(everyPublicSource), {}, productListError + "Nothing available for this platform\n", ""},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        World world(c.publish);
        store(world.run, c.stored);
        const ProcessResult result = world.run({"list"});
        EXPECT_EQ(result.err, c.err);
        EXPECT_EQ(result.out, c.out);
        EXPECT_EQ(result.exitCode, c.out.empty() ? 1 : 0);
    }
}

TEST(ListCommand, ADonatorLoginForAFolderNoListNamesMakesAProduct)
{
    World world([](CatalogServer& catalog) {
        publishCatalog(catalog);
        catalog.channelFolder("orphan", Channel::Donators, {build("OrphanFX", "VST3", "1.0"), build("Orphan", "CLAP", "1.0")},
                              fan, {CatalogServer::productJson("Orphan Synth")});
    });
    store(world.run, {{{Channel::Donators, "orphan", fan}}});
    const ProcessResult result = world.run({"list"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, publicRows.substr(0, publicRows.find("Vireo")) +
                              "Orphan\tCLAP\t1.0\tdonators\t\nOrphanFX\tVST3\t1.0\tdonators\t\n" +
                              publicRows.substr(publicRows.find("Vireo")));
    const Paths requests = world.catalog.requestedPaths();
    const Paths strayRequests(requests.end() - 2, requests.end());
    EXPECT_EQ(strayRequests, (Paths{CatalogServer::folderPath("orphan", Channel::Donators),
                                    CatalogServer::folderPath("orphan", Channel::Donators) + "products.json"}));
}

TEST(ListCommand, CommandLineLoginServesOneRunAndIsNeverWritten)
{
    struct Case
    {
        std::vector<std::string> arguments;
        int exitCode;
        std::string err;
        bool listsDonatorBuild;
        bool listsInternalBuild;
    };
    const Case cases[] = {
        {{"list", "--user", "fan", "--password", "pw", "--channel", "donators", "--product", "Aurora"}, 0, "", true, false},
        // An internal login switches the team login on for this run.
        {{"list", "--user=team", "--password=tpw"}, 0, "", true, true},
        {{"list", "--user", "fan"}, 1, "--user and --password go together\n", false, false},
        {{"list", "--user", "fan", "--password", ""}, 1, "--user and --password go together\n", false, false},
        {{"list", "--user", "a", "--password", "b", "--channel", "public"}, 1, "Unknown channel: public\n", false, false},
        // The login is applied before the command is looked at.
        {{"frobnicate", "--password", "b"}, 1, "--user and --password go together\n", false, false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::PrintToString(c.arguments));
        World world;
        const ProcessResult result = world.run(c.arguments);
        EXPECT_EQ(result.exitCode, c.exitCode);
        EXPECT_EQ(result.err, c.err);
        EXPECT_EQ(result.out.find("\t1.1.0\t") != std::string::npos, c.listsDonatorBuild);
        EXPECT_EQ(result.out.find("\tinternal\t") != std::string::npos, c.listsInternalBuild);
        if (c.exitCode != 0)
        {
            EXPECT_TRUE(world.catalog.requestedPaths().empty());
        }
        EXPECT_EQ(world.run.settingsText("credentials.xml"), "");
        EXPECT_EQ(world.run.settingsText("settings.xml"), "");
    }
}
