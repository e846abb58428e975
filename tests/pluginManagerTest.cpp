// Which login each request uses, and the manager's asynchronous completions.
#include "manager/sources/config.h"
#include "manager/pluginManager.h"

#include "httpFixture.h"

#include <algorithm>
#include <memory>

using namespace pluginManager;

namespace
{
const Credentials fan{"fan", "pw"}, team{"team", "tpw"}, stray{"stray", "x"};

std::string userOf(const Credentials& login) { return login.user + ":" + login.password; }

using ManagerAsync = httpTests::CatalogFixture;
}

// A build's login comes from the folder of the product that owns it; an address from a product
// list takes the login of the builds server's channel, and elsewhere none.
TEST(ManagerLogins, EachRequestTakesTheLoginOfItsChannelAndFolder)
{
    PluginManager manager(false);
    Product aurora{"aurora-folder", "Aurora", "", "", "", "", "", "", 0, {}};
    manager.catalog.setProducts({aurora});
    manager.setCredentials(Channel::Donators, "aurora-folder", fan);
    manager.setCredentials(Channel::Internal, "", team);
    manager.setCredentials(Channel::Donators, "", stray);

    const std::tuple<std::string, Channel, Credentials> builds[] = {{"AuroraFX", Channel::Donators, fan},
        {"AuroraFX", Channel::Internal, team}, {"AuroraFX", Channel::Public, {}}, {"Vireo", Channel::Donators, stray}};
    for (const auto& [product, channel, expected] : builds)
        EXPECT_EQ(userOf(manager.credentialsFor({product, "", "", "", "", "", "", channel, "", ""})), userOf(expected))
            << product << int(channel);
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

// Aurora's public build is 1.0.0 and its donators folder holds 1.1.0. A rejected login is reported
// and not stored; an accepted team login is stored and leaves the switch as it was. Each callback
// holds a copy of the token: once none is left, every completion has been delivered or dropped,
// those of the first refresh and of the manager that is gone among them.
TEST_F(ManagerAsync, CompletionsArriveOnTheMessageThreadOnlyForTheLatestRefreshAndNeverAfterTheManagerIsGone)
{
    catalog.publicProducts({catalog.product("Aurora", "aurora")});
    catalog.publicBuilds({catalog.build("Aurora", "VST3", "1.0.0")});
    catalog.channelFolder("aurora", Channel::Donators, {catalog.build("Aurora", "VST3", "1.1.0")}, fan);
    catalog.internalProducts({}, team);
    auto token = std::make_shared<int>(0);
    const std::weak_ptr<int> watch = token;
    std::vector<std::string> called;
    const auto record = [&](const std::string& what) {
        return [&, what, token](bool ok, const std::string& error) {
            const bool onMessageThread = juce::MessageManager::getInstance()->isThisTheMessageThread();
            called.push_back((ok ? what : error) + (onMessageThread ? "" : " off the message thread"));
        };
    };
    auto gone = std::make_unique<PluginManager>(false);
    gone->loginAsync(Channel::Donators, "aurora", fan, record("gone login"));
    gone->refreshAsync(record("gone refresh"));
    gone->fetchChangelogAsync("Aurora", [done = record("gone changelog")](bool ok, const changelogLib::Changelog&,
                                                                         const std::string& e) { done(ok, e); });
    gone.reset();
    PluginManager manager(false);
    manager.credentials.set(Channel::Donators, "aurora", fan, false, error);
    manager.refreshAsync(record("first refresh"));
    manager.refreshAsync(record("second refresh"));
    manager.loginAsync(Channel::Internal, "", team, record("team"));
    manager.loginAsync(Channel::Donators, "aurora", {"fan", "old"}, record("old"));
    token.reset();
    ASSERT_TRUE(pumpUntil([&watch] { return watch.expired(); }));
    std::sort(called.begin(), called.end());
    EXPECT_EQ(called, (std::vector<std::string>{"Login rejected", "second refresh", "team"}));
    EXPECT_EQ(manager.catalog.assets().size(), 2u);
    EXPECT_EQ(userOf(CredentialStore(true).get(Channel::Internal, "")), userOf(team));
    EXPECT_EQ(userOf(manager.credentials.get(Channel::Donators, "aurora")), userOf(fan));
    EXPECT_FALSE(manager.installPaths.teamLogin);
}
