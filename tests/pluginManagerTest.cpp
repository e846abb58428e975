// Which login each request uses, and the manager's asynchronous completions.
#include "manager/catalog/config.h"
#include "manager/pluginManager.h"

#include "support/catalogServer.h"
#include "support/tempFolder.h"
#include "support/testEndpoints.h"

#include <gtest/gtest.h>
#include <juce_events/juce_events.h>

#include <algorithm>

using namespace pluginManager;
using testSupport::CatalogServer;

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
    manager.credentials.set(Channel::Donators, "aurora-folder", fan, false);
    manager.credentials.set(Channel::Internal, "", team, false);
    manager.credentials.set(Channel::Donators, "", stray, false);

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
// This thread is the message thread of the test; completions arrive while it pumps.
class ManagerAsync : public ::testing::Test
{
protected:
    void SetUp() override
    {
        testSupport::pointEndpointsAt(catalog.server.url("/"));
        PlatformUtils::setSettingsFolder(settings.path());
        juce::MessageManager::getInstance();
        catalog.publicProducts({catalog.product("Aurora", "aurora")});
        catalog.publicBuilds({catalog.build("Aurora", "VST3", "1.0")});
        catalog.channelFolder("aurora", Channel::Donators, {catalog.build("Aurora", "VST3", "1.1")}, fan);
    }

    void TearDown() override
    {
        juce::MessageManager::getInstance()->runDispatchLoopUntil(10);
        juce::MessageManager::deleteInstance();
        PlatformUtils::setSettingsFolder("");
        testSupport::pointEndpointsAt(testSupport::closedLoopbackBase());
    }

    // Pumps until every request expected has arrived, then long enough for the workers that made
    // them to have posted their completions.
    void pumpUntilRequests(size_t count) const
    {
        for (int round = 0; round < 500 && catalog.requestedPaths().size() < count; ++round)
            juce::MessageManager::getInstance()->runDispatchLoopUntil(20);
        ASSERT_EQ(catalog.requestedPaths().size(), count);
        juce::MessageManager::getInstance()->runDispatchLoopUntil(300);
    }

    CatalogServer catalog;
    testSupport::TempFolder settings;
};
}

TEST_F(ManagerAsync, ACompletionAfterTheManagerIsGoneCallsNothing)
{
    int calls = 0;
    auto manager = std::make_unique<PluginManager>(false);
    manager->loginAsync(Channel::Donators, "aurora", fan, [&calls](bool, const std::string&) { ++calls; });
    manager->refreshAsync([&calls](bool, const std::string&) { ++calls; });
    manager.reset();

    // The login's folder, the product list and the two release files.
    pumpUntilRequests(4);
    EXPECT_EQ(calls, 0);
    EXPECT_FALSE(settings.exists("credentials.xml"));
}

TEST_F(ManagerAsync, OnlyTheLatestRefreshLandsAndACheckedLoginIsStored)
{
    catalog.internalProducts({}, team);
    PluginManager manager(false);
    manager.credentials.set(Channel::Donators, "aurora", fan, false);
    std::vector<std::string> called;
    manager.refreshAsync([&called](bool, const std::string&) { called.push_back("first refresh"); });
    manager.refreshAsync([&called](bool ok, const std::string&) { called.push_back(ok ? "second refresh" : "failed"); });
    manager.loginAsync(Channel::Internal, "", team,
                       [&called](bool ok, const std::string& error) { called.push_back(ok ? "team" : error); });
    EXPECT_TRUE(manager.catalog.assets().empty());

    pumpUntilRequests(9);
    EXPECT_EQ(called.size(), 2u);
    EXPECT_EQ(std::count(called.begin(), called.end(), "second refresh"), 1);
    EXPECT_EQ(std::count(called.begin(), called.end(), "team"), 1);
    EXPECT_EQ(manager.catalog.assets().size(), 2u);
    EXPECT_EQ(userOf(CredentialStore(true).get(Channel::Internal, "")), userOf(team));
    EXPECT_FALSE(manager.installPaths.teamLogin);
}
