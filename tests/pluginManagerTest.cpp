// The manager's logins, the refresh's made-up products, and its asynchronous forms.
#include "manager/catalog/config.h"
#include "manager/pluginManager.h"

#include "support/catalogServer.h"
#include "support/tempFolder.h"
#include "support/testEndpoints.h"

#include <gtest/gtest.h>
#include <juce_events/juce_events.h>

#include <functional>

using namespace pluginManager;
using testSupport::CatalogServer;

namespace
{
const Credentials fan{"fan", "pw"};
const Credentials team{"team", "tpw"};

bool same(const Credentials& a, const Credentials& b) { return a.user == b.user && a.password == b.password; }
}

TEST(ManagerLogins, AnAddressOnTheBuildsServerTakesTheLoginOfItsChannel)
{
    const Credentials donators{"fan", ""};
    const std::string server = urls().buildsServer, mirror = urls().buildsMirror;
    // address, gives the internal login, gives the (incomplete) donator login
    const std::tuple<std::string, bool, bool> cases[] = {
        {server + "aurora/internal/thumb.png", true, false},
        {mirror + "aurora/donators/thumb.png", false, true},
        {mirror + "internal/products.json", true, false},
        {server + "a", false, true},
        {server, false, false},
        {"https://elsewhere.test/aurora/internal/x", false, false},
        {"", false, false},
    };
    for (const auto& [url, internal, donator] : cases)
    {
        const Credentials login = PluginManager::loginForUrl(url, team, donators);
        EXPECT_TRUE(same(login, internal ? team : donator ? donators : Credentials{})) << url;
    }
}

TEST(ManagerLogins, ABuildsDownloadUsesTheStoredLoginOfItsOwningProductsFolder)
{
    PluginManager manager(false);
    Product aurora;
    aurora.slug = "aurora-folder";
    aurora.id = "Aurora";
    aurora.thumbnail = urls().buildsServer + "aurora-folder/donators/t.png";
    manager.catalog.setProducts({aurora});
    manager.credentials.set(Channel::Donators, "aurora-folder", fan, false);
    manager.credentials.set(Channel::Internal, "", team, false);
    const Credentials strayLogin{"stray", "x"};
    manager.credentials.set(Channel::Donators, "", strayLogin, false);

    // product, channel, login expected
    const std::tuple<std::string, Channel, Credentials> cases[] = {
        {"AuroraFX", Channel::Donators, fan},
        {"AuroraFX", Channel::Internal, team},
        {"AuroraFX", Channel::Public, {}},
        {"Vireo", Channel::Donators, strayLogin},
    };
    for (const auto& [product, channel, expected] : cases)
    {
        Asset build;
        build.product = product;
        build.channel = channel;
        EXPECT_TRUE(same(manager.credentialsFor(build), expected)) << product << " " << channelToString(channel);
    }
    EXPECT_TRUE(same(manager.credentialsForThumbnail(aurora), fan));

    // The switch decides only what a refresh may use; the stored login stays.
    EXPECT_TRUE(manager.credentialsForFetch().get(Channel::Internal, "").user.empty());
    manager.setCredentials(Channel::Internal, "", team);
    EXPECT_TRUE(same(manager.credentialsForFetch().get(Channel::Internal, ""), team));
}

TEST(ManagerRefresh, AStrayDonatorFolderIsNamedByItsShortestBuildOrItsOwnList)
{
    const std::vector<std::string> builds = {CatalogServer::buildName("XFX", "VST3", "1.0"),
                                             CatalogServer::buildName("X", "VST3", "1.0"),
                                             CatalogServer::buildName("Y", "VST3", "1.0")};
    // the folder's own product list, name, description, category
    const std::tuple<std::vector<std::string>, std::string, std::string, std::string> cases[] = {
        {{}, "X", "Downloaded with the donator login for lost", ""},
        {{CatalogServer::productJson("Listed", "", R"(, "name": "X Synth", "category": "Synths")")}, "X Synth",
         "Downloaded with the donator login for lost", "Synths"},
    };
    for (const auto& [listed, name, description, category] : cases)
    {
        CatalogServer catalog;
        testSupport::pointEndpointsAt(catalog.server.url("/"));
        catalog.channelFolder("lost", Channel::Donators, builds, fan, listed);
        CredentialStore logins(false);
        logins.set(Channel::Donators, "lost", fan, false);

        Catalog fetched;
        std::string error;
        PluginManager::fetchAll(fetched, logins, error);
        ASSERT_EQ(fetched.products().size(), 1u);
        const Product& product = fetched.products()[0];
        EXPECT_EQ(product.slug, "lost");
        EXPECT_EQ(product.id, "X");
        EXPECT_EQ(product.name, name);
        EXPECT_EQ(product.description, description);
        EXPECT_EQ(product.category, category);
        EXPECT_EQ(fetched.assets().size(), 3u);
    }
    testSupport::pointEndpointsAt(testSupport::closedLoopbackBase());
}

namespace
{
// This thread is the message thread for the test; completions arrive while it pumps.
class ManagerAsync : public ::testing::Test
{
protected:
    void SetUp() override
    {
        testSupport::pointEndpointsAt(catalog.server.url("/"));
        PlatformUtils::setSettingsFolder(settings.path());
        juce::MessageManager::getInstance();
        catalog.publicProducts({CatalogServer::productJson("Aurora", "aurora")});
        catalog.publicBuilds({CatalogServer::buildName("Aurora", "VST3", "1.0")});
        catalog.channelFolder("aurora", Channel::Donators, {CatalogServer::buildName("Aurora", "VST3", "1.1")}, fan);
    }

    void TearDown() override
    {
        juce::MessageManager::getInstance()->runDispatchLoopUntil(10);
        juce::MessageManager::deleteInstance();
        PlatformUtils::setSettingsFolder("");
        testSupport::pointEndpointsAt(testSupport::closedLoopbackBase());
    }

    // Pumps until the condition holds or about ten seconds have passed.
    static bool pumpUntil(const std::function<bool()>& condition)
    {
        for (int round = 0; round < 500 && !condition(); ++round)
            juce::MessageManager::getInstance()->runDispatchLoopUntil(20);
        return condition();
    }

    // Long enough for a worker that is done with the server to have posted its completion.
    static void pumpAWhile() { juce::MessageManager::getInstance()->runDispatchLoopUntil(300); }

    size_t requestCount() const { return catalog.requestedPaths().size(); }

    CatalogServer catalog;
    testSupport::TempFolder settings;
};
}

TEST_F(ManagerAsync, ACheckedLoginIsStoredWhenItsCompletionArrives)
{
    PluginManager manager(false);
    std::vector<std::pair<bool, std::string>> results;
    const auto record = [&results](bool ok, const std::string& error) { results.emplace_back(ok, error); };
    manager.loginAsync(Channel::Donators, "aurora", {"fan", "wrong"}, record);
    manager.loginAsync(Channel::Internal, "", team, record);
    ASSERT_TRUE(pumpUntil([&] { return results.size() == 2; }));
    EXPECT_FALSE(manager.credentials.get(Channel::Internal, "").isComplete());

    manager.loginAsync(Channel::Donators, "Aurora", fan, record);
    ASSERT_TRUE(pumpUntil([&] { return results.size() == 3; }));
    EXPECT_EQ(results[2], std::make_pair(true, std::string()));
    EXPECT_TRUE(same(CredentialStore(true).get(Channel::Donators, "aurora"), fan));
    EXPECT_FALSE(manager.installPaths.teamLogin);
}

TEST_F(ManagerAsync, ACompletionAfterTheManagerIsGoneCallsNothing)
{
    int calls = 0;
    auto manager = std::make_unique<PluginManager>(false);
    manager->loginAsync(Channel::Donators, "aurora", fan, [&calls](bool, const std::string&) { ++calls; });
    manager->refreshAsync([&calls](bool, const std::string&) { ++calls; });
    manager.reset();

    // The login check, the two product sources and the release file.
    ASSERT_TRUE(pumpUntil([this] { return requestCount() == 4; }));
    pumpAWhile();
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(testSupport::readFile(settings.file("credentials.xml")), "");
}

TEST_F(ManagerAsync, OnlyTheLatestRefreshLands)
{
    PluginManager manager(false);
    manager.credentials.set(Channel::Donators, "aurora", fan, false);
    std::vector<std::string> called;
    manager.refreshAsync([&called](bool, const std::string&) { called.push_back("first"); });
    manager.refreshAsync([&called](bool ok, const std::string& error) { called.push_back(ok ? "second" : error); });
    EXPECT_TRUE(manager.catalog.assets().empty());

    ASSERT_TRUE(pumpUntil([&] { return !called.empty(); }));
    // Both workers have asked everything before the later completion is let through.
    ASSERT_TRUE(pumpUntil([this] { return requestCount() == 8; }));
    pumpAWhile();
    EXPECT_EQ(called, std::vector<std::string>{"second"});
    EXPECT_EQ(manager.catalog.assets().size(), 2u);
}
