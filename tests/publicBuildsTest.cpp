#include "manager/catalog/catalogSource.h"

#include "support/testEndpoints.h"
#include "support/testServer.h"

#include <gtest/gtest.h>

using namespace pluginManager;
using testSupport::loopbackPath::publicBuilds;
using testSupport::loopbackPath::releasesApi;
using testSupport::route;
using Texts = std::vector<std::string>;

namespace
{
// One release object as both our copy and the hosting service write it.
std::string release(const std::string& publishedAt, const std::string& name, const std::string& url)
{
    return R"({"tag_name": "v", "published_at": ")" + publishedAt + R"(", "assets": [{"name": ")" + name +
           R"(", "size": 1, "browser_download_url": ")" + url + R"("}]})";
}

Texts urlsAndDates(const std::vector<Asset>& assets)
{
    Texts values;
    for (const auto& asset : assets)
        values.push_back(asset.url + "@" + asset.date);
    return values;
}

class PublicBuilds : public ::testing::Test
{
protected:
    void SetUp() override { testSupport::pointEndpointsAt(server.url("/")); }
    void serveCopy(const std::string& name, const std::string& text)
    {
        server.setText(route(publicBuilds, name), text);
    }

    testSupport::TestServer server;
    std::vector<Asset> assets;
    std::string error;
};
}

TEST_F(PublicBuilds, OwnCopyGivesTheReleasesInListOrder)
{
    const std::string a = "https://x.test/a.zip", d = "https://x.test/d.deb";
    serveCopy("versions.json", R"(["1.4.0", "", "missing", "broken", "1.3.0", "1.4.0"])");
    serveCopy("1.4.0.json", R"({"published_at": "2024-05-01T12:34", "assets": [7,
        {"name": "Kestavel-Aurora-VST3-1.4.0-Linux_x86_64.zip", "browser_download_url": ")" + a + R"("},
        {"name": "Aurora-1.4.0-notes.txt", "browser_download_url": "https://x.test/notes.txt"},
        {"name": "Kestavel-Aurora-CLAP-1.4.0-win64.zip", "browser_download_url": ""}]})");
    serveCopy("broken.json", std::string(200000, '['));
    serveCopy("1.3.0.json", release("2024-05-01T12:3", "Kestavel-Aurora-1.3.0-Linux_aarch64.deb", d));

    assets.resize(1);
    ASSERT_TRUE(CatalogSource::fetchPublic(assets, error)) << error;
    // A release listed twice counts twice; the caller's own entry stays in front.
    const std::string dated = a + "@2024-05-01 12:34";
    EXPECT_EQ(urlsAndDates(assets), (Texts{"@", dated, d + "@", dated}));
    EXPECT_EQ(server.requestCount(route(releasesApi)), 0u);
}

TEST_F(PublicBuilds, OwnCopyWithoutBuildsFallsBackToTheApi)
{
    // Missing, no list, empty, listing only releases without builds, nested far too deep.
    const std::string cases[] = {"", R"({"1.0": true})", "[]", R"(["gone", "nobuilds"])", std::string(200000, '[')};
    serveCopy("nobuilds.json", release("2024-05-01T12:34:56Z", "readme.txt", "https://x.test/r.txt"));
    server.setText(route(releasesApi),
                   "[" + release("2024-01-01T10:20:30Z", "Kestavel-Api-1.0-win64.zip", "https://x.test/api.zip") + "]");

    for (const std::string& versions : cases)
    {
        if (versions.empty())
            server.setStatus(route(publicBuilds, "versions.json"), 404);
        else
            serveCopy("versions.json", versions);
        assets.clear();
        EXPECT_TRUE(CatalogSource::fetchPublic(assets, error));
        EXPECT_EQ(error, "");
        EXPECT_EQ(urlsAndDates(assets), Texts{"https://x.test/api.zip@2024-01-01 10:20"}) << versions.substr(0, 20);
    }
}

TEST_F(PublicBuilds, ApiFailuresLeaveTheCallersList)
{
    assets.resize(2);
    for (const auto& answer : {std::string(R"({"message": "API rate limit exceeded"})"), std::string(200000, '[')})
    {
        server.setText(route(releasesApi), answer);
        EXPECT_FALSE(CatalogSource::fetchPublic(assets, error));
        EXPECT_EQ(error, "Unexpected response from GitHub");
    }

    server.setText(route(releasesApi), "[]");
    EXPECT_TRUE(CatalogSource::fetchPublic(assets, error));
    EXPECT_EQ(error, "");

    testSupport::pointEndpointsAt(testSupport::closedLoopbackBase());
    EXPECT_FALSE(CatalogSource::fetchPublic(assets, error));
    EXPECT_EQ(error, "Could not reach GitHub: Failed to connect");
    EXPECT_EQ(assets.size(), 2u);
}
