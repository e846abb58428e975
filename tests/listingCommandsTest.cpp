// End-to-end runs of list against a loopback catalog.
#include "manager/state/installedPlugins.h"

#include "support/catalogServer.h"
#include "support/programRun.h"

#include <gtest/gtest.h>

using namespace pluginManager;
using testSupport::CatalogServer;
using Paths = std::vector<std::string>;

namespace
{
const Credentials fan{"fan", "pw"}, team{"team", "tpw"};
const auto build = CatalogServer::build;

// Aurora 1.1.0 is on both login channels; Nebula is named by the internal list alone; no list
// names the folder "orphan"; Legacy and one Vireo build are for other systems. Aurora's VST3
// 1.0.0 is installed, and the failing sources answer 500. A link in Aurora's donators folder
// would print a row of its own, and retitle the terminal, were it taken for a build.
struct World
{
    explicit World(const testSupport::StoredLogins& logins = {}, bool teamLogin = false, const Paths& failing = {})
    {
        CatalogServer& s = catalog;
        s.publicProducts({s.product("Aurora", "aurora"), s.product("Vireo", "vireo"), s.product("Legacy", "legacy")});
        s.publicBuilds({build("Aurora", "VST3", "1.0.0"), build("Aurora", "CLAP", "1.0.0"),
                        build("AuroraFX", "VST3", "1.0.0"), build("Vireo", "LV2", "2.0.0"),
                        "Kestavel-Vireo-VST3-2.0.0-win64.zip", "Kestavel-Legacy-VST3-0.1-MacOS.zip"});
        s.internalProducts({s.product("Aurora", "aurora"), s.product("Nebula", "nebula")}, team);
        const auto aurora = [](const char* newer, const char* older) {
            return Paths{build("Aurora", "VST3", newer), build("Aurora", "VST3", older)};
        };
        Paths donated = aurora("1.1.0", "1.0.0");
        donated.push_back(build("Aurora\tVST3\t9.0.0\tinternal\t\n\x1b]0;owned\x07Aurora", "VST3", "1.0.0"));
        s.channelFolder("aurora", Channel::Donators, donated, fan);
        s.channelFolder("aurora", Channel::Internal, aurora("1.2.0", "1.1.0"), team);
        s.channelFolder("nebula", Channel::Internal, {build("Nebula", "CLAP", "0.9")}, team);
        s.channelFolder("orphan", Channel::Donators, {build("OrphanFX", "VST3", "1.0"), build("Orphan", "CLAP", "1.0")},
                        fan, {s.product("Orphan Synth", "")});
        for (const std::string& path : failing)
            s.server.setStatus(path, 500);

        run.store(logins, teamLogin);
        const std::string folder = run.home() + "/.vst3/Kestavel";
        testSupport::writeFile(folder + "/Aurora.vst3/Contents/x", "");
        run.withSettings([&folder] {
            InstalledPlugins record(false);
            Asset installed;
            parseAssetName(build("Aurora", "VST3", "1.0.0"), installed);
            record.set(installed, folder, {"Aurora.vst3"}, 0);
            std::string error;
            record.save(error);
        });
    }

    std::string stored() const { return run.settingsText("credentials.xml") + run.settingsText("settings.xml"); }

    CatalogServer catalog;
    testSupport::ProgramRun run{catalog.server.url("/")};
};
}

TEST(ListCommand, EachVersionOnceWithTheBestChannelTheLoginsReachAndEachSourceAskedOnce)
{
    const std::string aurora = "Aurora\tVST3\t1.0.0\tpublic\t1.0.0\nAurora\tCLAP\t1.0.0\tpublic\t\n";
    const std::string auroraFx = "AuroraFX\tVST3\t1.0.0\tpublic\t\n", vireo = "Vireo\tLV2\t2.0.0\tpublic\t\n";
    const std::string publicRows = aurora + auroraFx + vireo, nebula = "Nebula\tCLAP\t0.9\tinternal\t\n";
    const std::string donatorRows = "Aurora\tVST3\t1.1.0\tdonators\t1.0.0\n" + publicRows;
    const std::string internalRows = "Aurora\tVST3\t1.2.0\tinternal\t1.0.0\nAurora\tVST3\t1.1.0\tdonators\t1.0.0\n" +
                                     aurora + auroraFx + nebula + vireo;

    const std::string auroraDonators = CatalogServer::folder("aurora", Channel::Donators);
    const std::string orphan = CatalogServer::folder("orphan", Channel::Donators);
    const Paths publicSources = {CatalogServer::productList, CatalogServer::versionList, CatalogServer::release};
    const auto plus = [&publicSources](const Paths& more) {
        Paths all = publicSources;
        all.insert(all.end(), more.begin(), more.end());
        return all;
    };
    const Paths withDonators = plus({auroraDonators});
    const Paths internalRequests = {
        CatalogServer::productList, CatalogServer::internalList, CatalogServer::versionList, CatalogServer::release,
        CatalogServer::folder("aurora", Channel::Internal), auroraDonators,
        CatalogServer::folder("vireo", Channel::Internal), CatalogServer::folder("legacy", Channel::Internal),
        CatalogServer::folder("nebula", Channel::Internal)};
    const Paths list = {"list"};

    struct Case
    {
        World world;
        Paths arguments;
        std::string out, err;
        Paths requests = {}; // empty: not looked at
    };
    Case cases[] = {
        {World(), list, publicRows, "", publicSources},
        {World({{"aurora", fan}}), list, donatorRows, "", withDonators},
        // While the switch is off not even the internal product list is asked for.
        {World({{"aurora", fan}, {"", team}}), list, donatorRows, "", withDonators},
        // One internal login opens every product's folder; missing ones are skipped quietly.
        {World({{"aurora", fan}, {"", team}}, true), list, internalRows, "", internalRequests},
        {World({{"aurora", {"fan", "old"}}}), list, publicRows, "", withDonators},
        // The shortest build name of the folder becomes a product; its variant is listed after it.
        {World({{"orphan", fan}}), list,
         aurora + auroraFx + "Orphan\tCLAP\t1.0\tdonators\t\nOrphanFX\tVST3\t1.0\tdonators\t\n" + vireo, "",
         plus({orphan, orphan + "products.json"})},
        // A login on the command line serves this run alone; an internal one switches the team login on for it.
        {World(), {"list", "--user", "fan", "--password", "pw", "--channel", "donators", "--product", "Aurora"},
         donatorRows, "", withDonators},
        {World({{"aurora", fan}}), {"list", "--user=team", "--password=tpw"}, internalRows, "", internalRequests},
        {World(), {"list", "Aurora"}, aurora, ""},
        {World(), {"list", "Legacy"}, "", "Nothing available for Legacy\n"},
        // A failed source is a warning; what the others gave is listed (the internal list names Aurora).
        {World({{"", team}}, true, {CatalogServer::productList}), list,
         "Aurora\tVST3\t1.2.0\tinternal\t1.0.0\nAurora\tVST3\t1.1.0\tinternal\t1.0.0\n" + aurora + auroraFx + nebula,
         "warning: Could not download the product list\n"},
        {World({{"", {"team", "old"}}}, true), list, publicRows, "warning: Team login: Login rejected\n"},
    };
    for (Case& c : cases)
    {
        SCOPED_TRACE(testing::PrintToString(c.arguments) + " " + c.err);
        const std::string stored = c.world.stored();
        const auto result = c.world.run(c.arguments);
        EXPECT_EQ(result.err, c.err);
        EXPECT_EQ(result.exitCode, c.out.empty() ? 1 : 0);
        EXPECT_EQ(result.out, c.out);
        if (!c.requests.empty())
        {
            EXPECT_EQ(c.world.catalog.requestedPaths(), c.requests);
        }
        EXPECT_EQ(c.world.stored(), stored);
    }
}
