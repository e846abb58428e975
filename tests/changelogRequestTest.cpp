// The asynchronous changelog request of the manager, on a pumped message loop.
#include "manager/pluginManager.h"

#include "httpFixture.h"

#include <algorithm>
#include <memory>

using namespace pluginManager;
using changelogLib::Changelog;

namespace
{
class ChangelogRequests : public httpTests::MessageThreadFixture
{
protected:
    void SetUp() override
    {
        MessageThreadFixture::SetUp();
        testSupport::pointEndpointsAt(server.url("/"));
        server.setText(testSupport::route(testSupport::loopbackPath::changelog), "Version 1.0.0\nAlpha:\n- first\n");
    }

    void TearDown() override
    {
        testSupport::pointEndpointsAt(testSupport::closedLoopbackBase());
        MessageThreadFixture::TearDown();
    }

    // Alpha with one public build; the catalog needs no product to own it.
    static std::unique_ptr<PluginManager> publishedManager()
    {
        auto manager = std::make_unique<PluginManager>(false);
        Asset build;
        EXPECT_TRUE(parseAssetName("Kestavel-Alpha-VST3-1.0.0-Linux_aarch64.zip", build));
        manager->catalog.addAssets({build});
        return manager;
    }
};
}

TEST_F(ChangelogRequests, BothOutcomesArriveOnTheMessageThread)
{
    const auto manager = publishedManager();
    std::vector<std::string> outcomes;
    bool elsewhere = false;
    const auto record = [&](bool ok, const Changelog& changelog, const std::string& failure) {
        elsewhere = elsewhere || !juce::MessageManager::getInstance()->isThisTheMessageThread();
        const std::string versions = changelog.versions.empty() ? "" : changelog.versions.begin()->first;
        outcomes.push_back((ok ? "ok " : "failed ") + versions + failure);
    };

    manager->fetchChangelogAsync("Alpha", record);
    manager->fetchChangelogAsync("Quiet", record);
    ASSERT_TRUE(pumpUntil([&] { return outcomes.size() == 2; }));
    std::sort(outcomes.begin(), outcomes.end());
    EXPECT_EQ(outcomes, (std::vector<std::string>{"failed No changelog has been published for Quiet yet.", "ok 1.0.0"}));
    EXPECT_FALSE(elsewhere);
}

TEST_F(ChangelogRequests, ACompletionAfterTheManagerIsGoneCallsNothing)
{
    auto manager = publishedManager();
    // The callback holds the only other reference: once it is released, the completion has been
    // delivered and dropped.
    auto token = std::make_shared<int>(0);
    const std::weak_ptr<int> watch = token;
    bool called = false;
    manager->fetchChangelogAsync("Alpha", [&called, token = std::move(token)](bool, const Changelog&,
                                                                              const std::string&) { called = true; });
    manager.reset();

    ASSERT_TRUE(pumpUntil([&] { return watch.expired(); }));
    EXPECT_EQ(server.requestCount(testSupport::route(testSupport::loopbackPath::changelog)), 1u);
    EXPECT_FALSE(called);
}
