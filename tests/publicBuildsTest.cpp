#include "manager/catalog/catalogSource.h"
#include "manager/catalog/config.h"
#include "manager/platform/log.h"
#include "manager/platform/platformUtils.h"

#include "support/tempFolder.h"
#include "support/testEndpoints.h"
#include "support/testServer.h"

#include <gtest/gtest.h>

#include <cstdio>

using namespace pluginManager;
using testSupport::loopbackPath::publicBuilds;
using testSupport::loopbackPath::releasesApi;
using testSupport::route;
using Texts = std::vector<std::string>;

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

Texts field(const std::vector<Asset>& assets, std::string Asset::*member)
{
    Texts values;
    for (const auto& asset : assets)
        values.push_back(asset.*member);
    return values;
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

    void serveCopy(const std::string& name, const std::string& body) { server.setText(route(publicBuilds, name), body); }

    testSupport::TempFolder settings;
    testSupport::TestServer server;
    std::vector<Asset> assets;
    std::string error;
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
    serveCopy("broken.json", std::string(200000, '['));
    serveCopy("1.3.0.json", release("2024-05-01T12:3", file("Kestavel-Aurora-1.3.0-Linux_aarch64.deb", "https://x.test/d.deb")));

    assets.resize(1);
    assets[0].product = "AlreadyThere";
    ASSERT_TRUE(CatalogSource::fetchPublic(assets, error)) << error;

    // A release listed twice counts twice; the caller's own entry stays in front.
    EXPECT_EQ(assets[0].product, "AlreadyThere");
    const std::string a = "https://x.test/a.zip", m = "https://x.test/m.zip";
    EXPECT_EQ(field(assets, &Asset::url), (Texts{"", a, m, "https://x.test/d.deb", a, m}));
    const std::string date = "2024-05-01 12:34";
    EXPECT_EQ(field(assets, &Asset::date), (Texts{"", date, date, "", date, date}));

    EXPECT_EQ(server.requestCount(route(releasesApi)), 0u);
    EXPECT_NE(takeLog().find("Public builds: 5 from " + urls().publicBuilds), std::string::npos);
}

TEST_F(PublicBuilds, OwnCopyWithoutBuildsFallsBackToTheApi)
{
    const std::pair<std::string, std::string> cases[] = {
        {"", "HTTP 404"}, {R"({"1.0": true})", "Unexpected version list"},
        {"[]", "No builds in the cache"}, {R"(["gone", "nobuilds"])", "No builds in the cache"},
        {std::string(200000, '['), "Unexpected version list"},
    };
    serveCopy("nobuilds.json", release("2024-05-01T12:34:56Z", file("readme.txt", "https://x.test/r.txt")));
    server.setText(route(releasesApi),
                   "[" + release("2024-01-01T10:20:30Z", file("Kestavel-Api-1.0-win64.zip", "https://x.test/api.zip")) + "]");

    for (const auto& [versions, reason] : cases)
    {
        SCOPED_TRACE(versions.substr(0, 20));
        if (versions.empty())
            server.setStatus(route(publicBuilds, "versions.json"), 404);
        else
            serveCopy("versions.json", versions);
        assets.clear();
        EXPECT_TRUE(CatalogSource::fetchPublic(assets, error));
        EXPECT_EQ(error, "");
        EXPECT_EQ(field(assets, &Asset::date), Texts{"2024-01-01 10:20"});
        EXPECT_NE(takeLog().find("Nothing in our own copy (" + reason + "), asking GitHub"), std::string::npos);
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
