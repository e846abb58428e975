// The refresh against a server whose answers come late, the newest first: it asks side by side and
// puts together what the one-by-one refresh put together.
#include "manager/http/sideBySide.h"
#include "manager/pluginManager.h"

#include "httpFixture.h"

#include <future>
#include <thread>

using namespace pluginManager;
using testSupport::CatalogServer;
using Lines = std::vector<std::string>;

namespace
{
const Credentials fan{"fan", "pw"}, team{"team", "tpw"};
const auto build = CatalogServer::build;
const std::string folderDate = " 2024-05-02 09:00";

std::string releaseFile(int release)
{
    return testSupport::route(testSupport::loopbackPath::publicBuilds, "v" + std::to_string(release) + ".json");
}

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

// Off the message thread, where the refresh asks side by side; the test's thread watches the
// server meanwhile. "ok", or the refresh's failure.
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

// Products P0 to P5, and P6 named by the internal list alone, each with a folder on both channels;
// ten releases; stray donator folders "orphan" and "empty". Release 4 is missing and release 7 is
// not JSON; P2's donators folder fails and P5's internal one is missing. The folder listings are
// held until as many requests as may be under way at once are.
TEST_F(Refresh, SideBySideItGivesTheOneByOneCatalogAsksEachAddressOnceAndAtMostEightAtATime)
{
    CatalogServer site;
    Lines products, expected, held;
    std::vector<Lines> releases;
    for (int release = 1; release <= 10; ++release)
    {
        const std::string product = "P" + std::to_string(release % 6), version = "1." + std::to_string(release) + ".0";
        releases.push_back({build(product, "VST3", version)});
        if (release != 4 && release != 7)
            expected.push_back(product + " " + version + " public 2024-05-01 10:00");
    }
    const std::string files = R"(, "files": [{"folder": "extras", "urls": ["http://127.0.0.1:9/x.bin"]}])";
    for (const std::string k : {"0", "1", "2", "3", "4", "5", "6"})
    {
        products.push_back(CatalogServer::product("P" + k, "p" + k));
        site.channelFolder("p" + k, Channel::Internal, {build("P" + k, "CLAP", "2." + k)}, team);
        site.channelFolder("p" + k, Channel::Donators, {build("P" + k, "LV2", "3." + k)}, fan,
                           k == "1" ? Lines{CatalogServer::product("P1", "p1", files)} : Lines{});
        for (const std::string& line : {"P" + k + " 2." + k + " internal", "P" + k + " 3." + k + " donators"})
            if (line != "P5 2.5 internal" && line != "P2 3.2 donators")
                expected.push_back(line + folderDate);
        logins.set(Channel::Donators, "p" + k, fan, false, error);
    }
    site.publicReleases(releases);
    site.server.setStatus(releaseFile(4), 404);
    site.server.setText(releaseFile(7), "{\"assets\": [");
    site.publicProducts({products.begin(), products.end() - 1});
    site.internalProducts({products.back(), products.front()}, team);
    site.server.setStatus(CatalogServer::folder("p2", Channel::Donators), 500);
    site.server.setStatus(CatalogServer::folder("p5", Channel::Internal), 404);
    site.channelFolder("orphan", Channel::Donators, {build("OrphanFX", "VST3", "1.0"), build("Orphan", "CLAP", "1.0")},
                       fan, {CatalogServer::product("Orphan Synth", "", files)});
    site.channelFolder("empty", Channel::Donators, {}, fan);
    for (const char* stray : {"orphan", "empty"})
        logins.set(Channel::Donators, stray, fan, false, error);
    logins.set(Channel::Internal, "", team, false, error);
    for (const char* folder : {"p0", "p1", "p2", "p3", "p4", "p5", "p6", "orphan", "empty"})
        for (const Channel channel : {Channel::Internal, Channel::Donators})
            site.server.hold(held.emplace_back(CatalogServer::folder(folder, channel)));

    auto result = refresh(site, catalog, logins);
    EXPECT_TRUE(waitFor([&site] { return site.server.mostUnderWay() == SideBySide::mostAtOnce; }));
    for (const std::string& folder : held)
        site.server.release(folder);
    EXPECT_EQ(result.get(), "ok");
    expected.insert(expected.end(), {"OrphanFX 1.0 donators" + folderDate, "Orphan 1.0 donators" + folderDate});
    for (const std::string k : {"0", "1", "2", "3", "4", "5", "6"})
        expected.push_back("P" + k + " p" + k + " P" + k + " ");
    expected.insert(expected.end(), {"Orphan orphan Orphan Synth Downloaded with the donator login for orphan",
                                     "orphan donators extras", "p1 donators extras"});
    EXPECT_EQ(describe(catalog), expected);
    Lines asked = site.requestedPaths();
    std::sort(asked.begin(), asked.end());
    EXPECT_EQ(std::adjacent_find(asked.begin(), asked.end()), asked.end());
    // The two lists, versions.json, ten releases, 16 listings, and the products.json of p1 and orphan.
    EXPECT_EQ(asked.size(), 31u);
    EXPECT_EQ(site.server.mostUnderWay(), SideBySide::mostAtOnce);
}

// The source whose failure the user reads answers last: it is held until the releases API, the
// last request of the last source, has been asked for, and then the newest answers go first.
TEST_F(Refresh, TheFirstCountedFailureIsTheEarliestSourcesWhicheverAnswersFirst)
{
    logins.set(Channel::Internal, "", team, false, error);
    // whether the public product list fails besides the internal one, the failure read
    const std::pair<bool, std::string> cases[] = {{true, "Could not download the product list"},
                                                  {false, "Team login: Could not reach the server (HTTP 500)"}};
    for (const auto& [productListFails, failure] : cases)
    {
        CatalogServer site;
        site.publicProducts({});
        site.internalProducts({}, team);
        site.server.setStatus(CatalogServer::internalList, 500);
        const std::string first = productListFails ? CatalogServer::productList : CatalogServer::internalList;
        site.server.setStatus(first, 500);
        site.server.hold(first);
        auto result = refresh(site, catalog, logins);
        const std::string releasesApi = testSupport::route(testSupport::loopbackPath::releasesApi);
        waitFor([&] { return site.server.requestCount(releasesApi) == 1; });
        site.server.release(first);
        EXPECT_EQ(result.get(), failure);
    }
}
