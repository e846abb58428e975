// Which login each request uses, and the manager's asynchronous completions.
#include "manager/sources/config.h"
#include "manager/pluginManager.h"

#include "httpFixture.h"

#include <algorithm>
#include <memory>

using namespace pluginManager;
using changelogLib::Changelog;

namespace
{
const Credentials fan{"fan", "pw"}, team{"team", "tpw"}, stray{"stray", "x"};

std::string userOf(const Credentials& login) { return login.user + ":" + login.password; }
}

TEST(ManagerLogins, EachRequestTakesTheLoginOfItsChannelAndFolder)
{
    PluginManager manager(false);
    Product aurora;
    aurora.slug = "aurora-folder";
    aurora.id = "Aurora";
    manager.catalog.setProducts({aurora});
    std::string unsaved;
    manager.credentials.set(Channel::Donators, "aurora-folder", fan, false, unsaved);
    manager.credentials.set(Channel::Internal, "", team, false, unsaved);
    manager.credentials.set(Channel::Donators, "", stray, false, unsaved);

    // A build's login comes from the folder of the product that owns it.
    const std::tuple<std::string, Channel, Credentials> builds[] = {
        {"AuroraFX", Channel::Donators, fan}, {"AuroraFX", Channel::Internal, team},
        {"AuroraFX", Channel::Public, {}},    {"Vireo", Channel::Donators, stray}};
    for (const auto& [product, channel, expected] : builds)
    {
        Asset build;
        build.product = product;
        build.channel = channel;
        EXPECT_EQ(userOf(manager.credentialsFor(build)), userOf(expected)) << product << int(channel);
    }
    // An address from a product list: the builds server's channel decides; elsewhere no login.
    const std::pair<std::string, Credentials> addresses[] = {
        {urls().buildsServer + "aurora/internal/t.png", team}, {urls().buildsMirror + "internal/products.json", team},
        {urls().buildsMirror + "aurora/donators/t.png", fan},  {urls().buildsServer, {}},
        {"https://elsewhere.test/x/internal/t.png", {}}};
    for (const auto& [url, expected] : addresses)
    {
        aurora.thumbnail = url;
        EXPECT_EQ(userOf(manager.credentialsForThumbnail(aurora)), userOf(expected)) << url;
    }
}

namespace
{
// Aurora's public 1.0.0 is in the public changelog, and its donators folder holds 1.1.0.
class ManagerAsync : public httpTests::CatalogFixture
{
protected:
    void SetUp() override
    {
        CatalogFixture::SetUp();
        catalog.publicProducts({catalog.product("Aurora", "aurora")});
        catalog.publicBuilds({catalog.build("Aurora", "VST3", "1.0.0")});
        catalog.channelFolder("aurora", Channel::Donators, {catalog.build("Aurora", "VST3", "1.1.0")}, fan);
        catalog.serveFile(testSupport::route(testSupport::loopbackPath::changelog), "Version 1.0.0\nAurora:\n- a\n");
    }
};
}

TEST_F(ManagerAsync, ACompletionAfterTheManagerIsGoneCallsNothing)
{
    auto manager = std::make_unique<PluginManager>(false);
    // Each callback holds a copy of the token: once none is left, every completion has been
    // delivered and dropped.
    auto token = std::make_shared<int>(0);
    const std::weak_ptr<int> watch = token;
    int calls = 0;
    manager->loginAsync(Channel::Donators, "aurora", fan, [&calls, token](bool, const std::string&) { ++calls; });
    manager->refreshAsync([&calls, token](bool, const std::string&) { ++calls; });
    manager->fetchChangelogAsync("Aurora", [&calls, token](bool, const Changelog&, const std::string&) { ++calls; });
    token.reset();
    manager.reset();

    ASSERT_TRUE(pumpUntil([&watch] { return watch.expired(); }));
    EXPECT_EQ(calls, 0);
    EXPECT_FALSE(settings.exists("credentials.xml"));
}

TEST_F(ManagerAsync, OnlyTheLatestRefreshLandsAndEachCompletionArrivesOnTheMessageThread)
{
    catalog.internalProducts({}, team);
    PluginManager manager(false);
    manager.credentials.set(Channel::Donators, "aurora", fan, false, error);
    std::vector<std::string> called;
    bool elsewhere = false;
    const auto record = [&](const std::string& what) {
        elsewhere = elsewhere || !juce::MessageManager::getInstance()->isThisTheMessageThread();
        called.push_back(what);
    };
    const auto count = [&called](const char* what) { return std::count(called.begin(), called.end(), what); };
    manager.refreshAsync([&](bool, const std::string&) { record("first refresh"); });
    manager.refreshAsync([&](bool ok, const std::string&) { record(ok ? "second refresh" : "failed"); });
    manager.loginAsync(Channel::Internal, "", team,
                       [&](bool ok, const std::string& error) { record(ok ? "team" : error); });
    manager.loginAsync(Channel::Donators, "aurora", {"fan", "old"},
                       [&](bool ok, const std::string& error) { record(ok ? "old" : error); });
    EXPECT_TRUE(manager.catalog.assets().empty());
    ASSERT_TRUE(pumpUntil([&] { return count("second refresh") + count("team") + count("Login rejected") == 3; }));
    EXPECT_EQ(manager.catalog.assets().size(), 2u);

    for (const char* product : {"Aurora", "Quiet"})
        manager.fetchChangelogAsync(product, [&](bool ok, const Changelog& changelog, const std::string& error) {
            record(ok && !changelog.versions.empty() ? "changelog " + changelog.versions.begin()->first : error);
        });
    ASSERT_TRUE(pumpUntil([&called] { return called.size() >= 5; }));
    // Long enough for the first refresh to land, were it let.
    juce::MessageManager::getInstance()->runDispatchLoopUntil(300);
    std::sort(called.begin(), called.end());
    EXPECT_EQ(called, (std::vector<std::string>{"Login rejected", "No changelog has been published for Quiet yet.",
                                                "changelog 1.0.0", "second refresh", "team"}));
    EXPECT_FALSE(elsewhere);
    EXPECT_EQ(userOf(CredentialStore(true).get(Channel::Internal, "")), userOf(team));
    EXPECT_EQ(userOf(manager.credentials.get(Channel::Donators, "aurora")), userOf(fan));
    EXPECT_FALSE(manager.installPaths.teamLogin);
}
