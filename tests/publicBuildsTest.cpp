#include "manager/catalogSource.h"
#include "manager/config.h"
#include "manager/log.h"
#include "manager/platformUtils.h"

#include "support/tempFolder.h"
#include "support/testEndpoints.h"
#include "support/testServer.h"

#include <gtest/gtest.h>

#include <cstdio>

using namespace pluginManager;
using testSupport::loopbackPath::publicBuilds;
using testSupport::loopbackPath::releasesApi;
using testSupport::route;

namespace
{
// One release object as both our copy and the hosting service write it.
std::string release(const std::string& publishedAt, const std::string& assetsJson)
{
    return R"({"tag_name": "v", "published_at": ")" + publishedAt + R"(", "assets": [)" + assetsJson + "]}";
}

std::string file(const std::string& name, const std::string& url)
{
    return R"({"name": ")" + name + R"(", "size": 1, "browser_download_url": ")" + url + R"("})";
}

class PublicBuilds : public ::testing::Test
{
protected:
    void SetUp() override
    {
        testSupport::pointEndpointsAt(server.url("/"));
        PlatformUtils::setSettingsFolder(settings.path());
        Log::start();
    }

    void TearDown() override
    {
        Log::stop();
        PlatformUtils::setSettingsFolder("");
    }

    // What was logged since the last call; logging goes on afterwards.
    std::string takeLog() const
    {
        Log::stop();
        const std::string text = settings.read("log.txt");
        std::remove(settings.file("log.txt").c_str());
        Log::start();
        return text;
    }

    void serveCopy(const std::string& name, const std::string& body)
    {
        server.setText(route(publicBuilds, name), body, "application/json");
    }

    testSupport::TempFolder settings;
    testSupport::TestServer server;
};
}

TEST_F(PublicBuilds, OwnCopyGivesTheReleasesInListOrder)
{
    serveCopy("versions.json", R"(["1.4.0", "", "missing", "broken", "1.3.0", "1.4.0"])");
    serveCopy("1.4.0.json",
              release("2024-05-01T12:34",
                      file("Kestavel-Aurora-VST3-1.4.0-Linux_x86_64.zip", "https://x.test/a.zip") + "," +
                          file("Aurora-1.4.0-notes.txt", "https://x.test/notes.txt") + "," +
                          file("Kestavel-Aurora-CLAP-1.4.0-win64.zip", "") + ", 7," +
                          file("Kestavel-Aurora-1.4.0-MacOS.zip", "https://x.test/m.zip")));
    serveCopy("broken.json", "{ not json");
    serveCopy("1.3.0.json", release("2024-05-01T12:3", file("Kestavel-Aurora-1.3.0-Linux_aarch64.deb", "https://x.test/d.deb")));

    std::vector<Asset> assets(1);
    assets[0].product = "AlreadyThere";
    std::string error = "stale";
    ASSERT_TRUE(CatalogSource::fetchPublic(assets, error));
    EXPECT_EQ(error, "");

    // A release listed twice counts twice; the caller's own entry stays in front.
    ASSERT_EQ(assets.size(), 6u);
    EXPECT_EQ(assets[0].product, "AlreadyThere");
    EXPECT_EQ(assets[1].url, "https://x.test/a.zip");
    EXPECT_EQ(assets[1].format, "VST3");
    EXPECT_EQ(assets[1].channel, Channel::Public);
    EXPECT_EQ(assets[1].date, "2024-05-01 12:34");
    EXPECT_EQ(assets[2].url, "https://x.test/m.zip");
    EXPECT_EQ(assets[3].extension, "deb");
    EXPECT_EQ(assets[3].date, "");
    EXPECT_EQ(assets[4].url, "https://x.test/a.zip");
    EXPECT_EQ(assets[5].url, "https://x.test/m.zip");

    EXPECT_EQ(server.requestCount(route(releasesApi)), 0u);
    EXPECT_NE(takeLog().find("Public builds: 5 from " + urls().publicBuilds), std::string::npos);
}

TEST_F(PublicBuilds, OwnCopyWithoutBuildsFallsBackToTheApi)
{
    const std::pair<std::string, std::string> cases[] = {
        {"", "HTTP 404"},
        {R"({"1.0": true})", "Unexpected version list"},
        {"[]", "No builds in the cache"},
        {R"(["gone", "nobuilds"])", "No builds in the cache"},
    };
    serveCopy("nobuilds.json", release("2024-05-01T12:34:56Z", file("readme.txt", "https://x.test/r.txt")));
    server.setText(route(releasesApi),
                   "[" + release("2024-01-01T10:20:30Z", file("Kestavel-Api-1.0-win64.zip", "https://x.test/api.zip")) + "]");

    for (const auto& [versions, reason] : cases)
    {
        if (versions.empty())
            server.setStatus(route(publicBuilds, "versions.json"), 404);
        else
            serveCopy("versions.json", versions);
        std::vector<Asset> assets;
        std::string error;
        EXPECT_TRUE(CatalogSource::fetchPublic(assets, error)) << reason;
        EXPECT_EQ(error, "");
        ASSERT_EQ(assets.size(), 1u) << reason;
        EXPECT_EQ(assets[0].date, "2024-01-01 10:20");
        EXPECT_EQ(assets[0].url, "https://x.test/api.zip");
        EXPECT_NE(takeLog().find("Nothing in our own copy (" + reason + "), asking GitHub"), std::string::npos)
            << reason;
    }
    // One page of at most 100 releases, asked for without a login.
    const auto requests = server.requestsFor(route(releasesApi));
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[0].target, route(releasesApi) + "?per_page=100");
    EXPECT_FALSE(requests[0].hasHeader("Authorization"));
}

TEST_F(PublicBuilds, ApiFailuresLeaveTheCallersList)
{
    std::vector<Asset> assets(2);
    std::string error;

    server.setStatus(route(releasesApi), 500);
    EXPECT_FALSE(CatalogSource::fetchPublic(assets, error));
    EXPECT_EQ(error, "Could not reach GitHub: HTTP 500");

    server.setText(route(releasesApi), R"({"message": "API rate limit exceeded"})");
    EXPECT_FALSE(CatalogSource::fetchPublic(assets, error));
    EXPECT_EQ(error, "Unexpected response from GitHub");
    EXPECT_EQ(assets.size(), 2u);

    server.setText(route(releasesApi), "[]");
    EXPECT_TRUE(CatalogSource::fetchPublic(assets, error));
    EXPECT_EQ(error, "");
    EXPECT_EQ(assets.size(), 2u);
}

TEST_F(PublicBuilds, NothingReachable)
{
    testSupport::pointEndpointsAt(testSupport::closedLoopbackBase());
    std::vector<Asset> assets;
    std::string error;
    EXPECT_FALSE(CatalogSource::fetchPublic(assets, error));
    EXPECT_EQ(error, "Could not reach GitHub: Failed to connect");
    EXPECT_NE(takeLog().find("Nothing in our own copy (Failed to connect), asking GitHub"), std::string::npos);
}
