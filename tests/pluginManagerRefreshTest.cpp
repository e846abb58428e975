// The refresh against a server whose answers come late, the newest first: it asks side by side and
// puts together what the one-by-one refresh put together.
#include "manager/http/sideBySide.h"
#include "manager/pluginManager.h"

#include "httpFixture.h"

#include <future>
#include <set>
#include <thread>

using namespace pluginManager;
using testSupport::CatalogServer;
using Lines = std::vector<std::string>;

namespace
{
const Credentials fan{"fan", "pw"}, team{"team", "tpw"};

// What a catalog holds, in its order.
Lines describe(const Catalog& catalog)
{
    Lines lines;
    for (const Asset& a : catalog.assets())
        lines.push_back(a.product + " " + a.version + " " + channelToString(a.channel) + " " + a.date);
    for (const Product& p : catalog.products())
        lines.push_back(p.id + " " + p.slug + " " + p.name + " " + p.description);
    for (const auto& [key, files] : catalog.channelFiles())
        lines.push_back(key.first + " " + channelToString(key.second) + " " + files.at(0).folder);
    return lines;
}

// Gives up after ten seconds.
bool waitFor(const std::function<bool()>& condition)
{
    for (int round = 0; round < 1000 && !condition(); ++round)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return condition();
}

// Off the message thread, where the refresh asks side by side. "ok", or the refresh's failure.
std::future<std::string> refresh(CatalogServer& site, Catalog& catalog, const CredentialStore& logins)
{
    testSupport::pointEndpointsAt(site.server.url("/"));
    site.server.delayAnswers(30, true);
    return std::async(std::launch::async, [&catalog, &logins] {
        std::string error;
        return PluginManager::fetchAll(catalog, logins, error) ? "ok" : error;
    });
}

struct Refresh : httpTests::HttpFixture
{
    CredentialStore logins{false};
    Catalog catalog;
};
}

// Products P0 to P3, P3 named by the internal list alone; stray donator folders "orphan" and
// "empty". Release v2, P1's donators folder and P3's internal one are missing. The folder listings
// are held until as many requests as may be under way at once are.
TEST_F(Refresh, SideBySideItGivesTheOneByOneCatalogAsksEachAddressOnceAndAtMostEightAtATime)
{
    using S = CatalogServer;
    S site;
    const std::string files = R"(, "files": [{"folder": "extras", "urls": ["http://127.0.0.1:9/x.bin"]}])";
    site.publicReleases({{S::build("P0", "VST3", "1.1")}, {S::build("P1", "VST3", "1.2")},
                         {S::build("P2", "VST3", "1.3")}});
    site.server.setStatus(testSupport::route(testSupport::loopbackPath::publicBuilds, "v2.json"), 404);
    site.publicProducts({S::product("P0", "p0"), S::product("P1", "p1"), S::product("P2", "p2")});
    site.internalProducts({S::product("P3", "p3"), S::product("P0", "p0")}, team);
    logins.set(Channel::Internal, "", team, false, error);
    site.channelFolder("p0", Channel::Internal, {S::build("P0", "CLAP", "2.0")}, team);
    site.channelFolder("p0", Channel::Donators, {S::build("P0", "LV2", "3.0")}, fan);
    site.channelFolder("p1", Channel::Internal, {S::build("P1", "CLAP", "2.1")}, team);
    site.channelFolder("p2", Channel::Internal, {S::build("P2", "CLAP", "2.2")}, team);
    site.channelFolder("p2", Channel::Donators, {S::build("P2", "LV2", "3.2")}, fan, {S::product("P2", "p2", files)});
    site.channelFolder("p3", Channel::Donators, {S::build("P3", "LV2", "3.3")}, fan);
    site.channelFolder("orphan", Channel::Donators,
                       {S::build("OrphanFX", "VST3", "1.0"), S::build("Orphan", "CLAP", "1.0")}, fan,
                       {S::product("Orphan Synth", "", files)});
    // Without builds, its product list is not asked for.
    site.channelFolder("empty", Channel::Donators, {}, fan, {S::product("Empty", "")});
    Lines held;
    for (const char* folder : {"p0", "p1", "p2", "p3", "orphan", "empty"})
    {
        logins.set(Channel::Donators, folder, fan, false, error);
        for (const Channel channel : {Channel::Internal, Channel::Donators})
            site.server.hold(held.emplace_back(S::folder(folder, channel)));
    }

    auto result = refresh(site, catalog, logins);
    EXPECT_TRUE(waitFor([&site] { return site.server.mostUnderWay() == SideBySide::mostAtOnce; }));
    for (const std::string& folder : held)
        site.server.release(folder);
    EXPECT_EQ(result.get(), "ok");
    const std::string pub = " public 2024-05-01 10:00", in = " internal 2024-05-02 09:00",
                      don = " donators 2024-05-02 09:00";
    EXPECT_EQ(describe(catalog),
              (Lines{"P0 1.1" + pub, "P2 1.3" + pub, "P0 2.0" + in, "P0 3.0" + don, "P1 2.1" + in, "P2 2.2" + in,
                     "P2 3.2" + don, "P3 3.3" + don, "OrphanFX 1.0" + don, "Orphan 1.0" + don, "P0 p0 P0 ",
                     "P1 p1 P1 ", "P2 p2 P2 ", "P3 p3 P3 ",
                     "Orphan orphan Orphan Synth Downloaded with the donator login for orphan",
                     "orphan donators extras", "p2 donators extras"}));
    // The two lists, versions.json, three releases, ten listings, and the products.json of p2 and orphan.
    const Lines asked = site.requestedPaths();
    EXPECT_EQ(asked.size(), 18u);
    EXPECT_EQ(std::set<std::string>(asked.begin(), asked.end()).size(), asked.size());
    EXPECT_EQ(site.server.mostUnderWay(), SideBySide::mostAtOnce);
}

// The source whose failure the user reads answers last: it is held until the releases API, the
// last request of the last source, has been asked for.
TEST_F(Refresh, TheFirstCountedFailureIsTheEarliestSourcesWhicheverAnswersFirst)
{
    logins.set(Channel::Internal, "", team, false, error);
    const std::string releasesApi = testSupport::route(testSupport::loopbackPath::releasesApi);
    // the source held, which fails, as does the internal list; the failure read
    const std::pair<std::string, std::string> cases[] = {
        {CatalogServer::productList, "Could not download the product list"},
        {CatalogServer::internalList, "Team login: Could not reach the server (HTTP 500)"}};
    for (const auto& [first, failure] : cases)
    {
        CatalogServer site;
        site.publicProducts({});
        site.server.setStatus(CatalogServer::internalList, 500);
        site.server.setStatus(first, 500);
        site.server.hold(first);
        auto result = refresh(site, catalog, logins);
        waitFor([&] { return site.server.requestCount(releasesApi) == 1; });
        site.server.release(first);
        EXPECT_EQ(result.get(), failure);
    }
}
