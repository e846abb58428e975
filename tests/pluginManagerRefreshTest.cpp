// The refresh against a server whose answers come late and out of order: it asks side by side,
// and puts together what the one-by-one refresh put together.
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
const std::string releasesApi = testSupport::route(testSupport::loopbackPath::releasesApi);
// Long enough for requests asked side by side to be under way together.
constexpr int lateMs = 30;

std::string releaseFile(int release)
{
    return testSupport::route(testSupport::loopbackPath::publicBuilds, "v" + std::to_string(release) + ".json");
}

// What a catalog holds, in its order.
Lines describe(const Catalog& catalog)
{
    Lines lines;
    for (const Asset& a : catalog.assets())
        lines.push_back(a.product + " " + a.format + " " + a.version + " " + channelToString(a.channel) + " " + a.date);
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

// Off the message thread, where the refresh asks side by side; this thread watches the server meanwhile.
std::future<std::string> refresh(Catalog& catalog, const CredentialStore& logins)
{
    return std::async(std::launch::async, [&catalog, &logins] {
        std::string error;
        return PluginManager::fetchAll(catalog, logins, error) ? "ok" : error;
    });
}

struct Refresh : httpTests::HttpFixture
{
    CredentialStore logins{false};
};
}

// Seven products (P6 named by the internal list alone) with a folder on each channel, ten
// releases, two stray donator folders. Release 4 is missing and release 7 is not JSON; P2's
// donators folder fails and P5's internal one is missing. The folder listings are held until the
// most that may be asked at once are under way.
TEST_F(Refresh, SideBySideTheCatalogIsTheOneByOneRefreshsAndEachAddressIsAskedOnceAtMostEightAtATime)
{
    CatalogServer site;
    testSupport::pointEndpointsAt(site.server.url("/"));
    std::vector<std::vector<std::string>> releases;
    Lines publicBuilds, folderBuilds, products, folders;
    for (int release = 1; release <= 10; ++release)
    {
        const std::string product = "P" + std::to_string(release % 6), version = "1." + std::to_string(release) + ".0";
        releases.push_back({build(product, "VST3", version)});
        if (release != 4 && release != 7)
            publicBuilds.push_back(product + " VST3 " + version + " public 2024-05-01 10:00");
    }
    site.publicReleases(releases);
    site.server.setStatus(releaseFile(4), 404);
    site.server.setText(releaseFile(7), "{\"assets\": [");
    const std::string extras = R"(, "files": [{"folder": "extras", "urls": ["http://127.0.0.1:9/x.bin"]}])";
    for (int k = 0; k <= 6; ++k)
    {
        const std::string product = "P" + std::to_string(k), slug = "p" + std::to_string(k), n = std::to_string(k);
        (k < 6 ? products : folders).push_back(CatalogServer::product(product, slug));
        site.channelFolder(slug, Channel::Internal, {build(product, "CLAP", "2." + n + ".0")}, team);
        site.channelFolder(slug, Channel::Donators, {build(product, "LV2", "3." + n + ".0")}, fan,
                           k == 1 ? Lines{CatalogServer::product(product, slug, extras)} : Lines{});
        if (k != 5)
            folderBuilds.push_back(product + " CLAP 2." + n + ".0 internal 2024-05-02 09:00");
        if (k != 2)
            folderBuilds.push_back(product + " LV2 3." + n + ".0 donators 2024-05-02 09:00");
        logins.set(Channel::Donators, slug, fan, false, error);
    }
    site.publicProducts(products);
    site.internalProducts({folders[0], CatalogServer::product("P0", "p0")}, team);
    site.server.setStatus(CatalogServer::folder("p2", Channel::Donators), 500);
    site.server.setStatus(CatalogServer::folder("p5", Channel::Internal), 404);
    const std::string sounds = R"(, "files": [{"folder": "sounds", "urls": ["http://127.0.0.1:9/y.bin"]}])";
    site.channelFolder("orphan", Channel::Donators, {build("OrphanFX", "VST3", "1.0"), build("Orphan", "CLAP", "1.0")},
                       fan, {CatalogServer::product("Orphan Synth", "", sounds)});
    site.channelFolder("empty", Channel::Donators, {}, fan);
    for (const char* stray : {"orphan", "empty"})
        logins.set(Channel::Donators, stray, fan, false, error);
    logins.set(Channel::Internal, "", team, false, error);
    Lines held;
    for (const char* slug : {"p0", "p1", "p2", "p3", "p4", "p5", "p6", "orphan", "empty"})
        for (const Channel channel : {Channel::Internal, Channel::Donators})
            held.push_back(CatalogServer::folder(slug, channel));
    for (const std::string& folder : held)
        site.server.hold(folder);
    site.server.delayAnswers(lateMs, true);

    Catalog catalog;
    auto result = refresh(catalog, logins);
    EXPECT_TRUE(waitFor([&site] { return site.server.mostUnderWay() == SideBySide::mostAtOnce; }));
    for (const std::string& folder : held)
        site.server.release(folder);
    EXPECT_EQ(result.get(), "ok");

    Lines expected = publicBuilds;
    expected.insert(expected.end(), folderBuilds.begin(), folderBuilds.end());
    const std::string stray = "Downloaded with the donator login for ";
    expected.insert(expected.end(),
                    {"OrphanFX VST3 1.0 donators 2024-05-02 09:00", "Orphan CLAP 1.0 donators 2024-05-02 09:00"});
    for (int k = 0; k <= 6; ++k)
        expected.push_back("P" + std::to_string(k) + " p" + std::to_string(k) + " P" + std::to_string(k) + " ");
    expected.insert(expected.end(), {"Orphan orphan Orphan Synth " + stray + "orphan", "orphan donators sounds",
                                     "p1 donators extras"});
    EXPECT_EQ(describe(catalog), expected);
    Lines asked = site.requestedPaths();
    std::sort(asked.begin(), asked.end());
    EXPECT_EQ(std::adjacent_find(asked.begin(), asked.end()), asked.end());
    // The two lists, versions.json, ten releases, 16 listings, and the two products.json of p1 and orphan.
    EXPECT_EQ(asked.size(), 31u);
    EXPECT_EQ(site.server.mostUnderWay(), SideBySide::mostAtOnce);
}

// The source whose failure the user reads answers last: its failure is held back until the
// releases API, the last source's last request, is asked for, and the newest answers first.
TEST_F(Refresh, TheFirstCountedFailureIsTheEarliestSourcesWhicheverAnswersFirst)
{
    logins.set(Channel::Internal, "", team, false, error);
    // whether the public product list fails, the failure read
    const std::pair<bool, std::string> cases[] = {
        {true, "Could not download the product list"},
        {false, "Team login: Could not reach the server (HTTP 500)"},
    };
    for (const auto& [productListFails, failure] : cases)
    {
        CatalogServer site;
        testSupport::pointEndpointsAt(site.server.url("/"));
        site.publicProducts({});
        site.internalProducts({}, team);
        site.server.setStatus(CatalogServer::internalList, 500);
        const std::string first = productListFails ? CatalogServer::productList : CatalogServer::internalList;
        if (productListFails)
            site.server.setStatus(first, 500);
        site.server.hold(first);
        site.server.delayAnswers(lateMs, true);

        Catalog catalog;
        auto result = refresh(catalog, logins);
        waitFor([&site] { return site.server.requestCount(releasesApi) == 1; });
        site.server.release(first);
        EXPECT_EQ(result.get(), failure);
    }
}
