#include "manager/catalogSource.h"
#include "manager/config.h"

#include "support/tempFolder.h"
#include "support/testEndpoints.h"
#include "support/testServer.h"

#include <gtest/gtest.h>

using namespace pluginManager;
using testSupport::loopbackPath::buildsServer;
using testSupport::route;

namespace
{
std::string listing(const std::string& name)
{
    return testSupport::readFile(std::string(VYRPM_FIXTURES_DIR) + "/listings/" + name);
}

class ChannelFolders : public ::testing::Test
{
protected:
    void SetUp() override
    {
        testSupport::pointEndpointsAt(server.url("/"));
        server.requireLogin(route(buildsServer, "aurora/"), "fan", "pw");
        server.setText(donators, listing("fancyWithDates.html"), "text/html");
        server.setText(internal, listing("plainList.html"), "text/html");
    }

    const std::string donators = route(buildsServer, "aurora/donators/");
    const std::string internal = route(buildsServer, "aurora/internal/");
    const Credentials login{"fan", "pw"};
    testSupport::TestServer server;
};
}

TEST_F(ChannelFolders, ListingGivesTheFoldersBuildsWithTheLogin)
{
    std::vector<Asset> assets(1);
    std::string error;
    bool hasProducts = false;
    ASSERT_TRUE(CatalogSource::fetchChannel(" Aurora ", Channel::Donators, login, assets, error, &hasProducts))
        << error;

    ASSERT_EQ(assets.size(), 5u);
    EXPECT_EQ(assets[0].url, urls().buildsServer + "aurora/donators/Kestavel-Aurora-CLAP-1.4.0-Linux_x86_64.zip");
    EXPECT_EQ(assets[0].channel, Channel::Donators);
    EXPECT_EQ(assets[0].date, "2024-05-01 13:45");
    EXPECT_TRUE(hasProducts);
    EXPECT_TRUE(server.requestsFor(donators)[0].hasHeader("Authorization"));

    ASSERT_TRUE(CatalogSource::fetchChannel("Aurora", Channel::Internal, login, assets, error, &hasProducts));
    ASSERT_EQ(assets.size(), 3u);
    EXPECT_EQ(assets[0].channel, Channel::Internal);
    EXPECT_EQ(assets[0].url, urls().buildsServer + "aurora/internal/Kestavel-Aurora-1.5.0-Linux_aarch64.deb");
    EXPECT_FALSE(hasProducts);
}

TEST_F(ChannelFolders, ListingOfAServedFolder)
{
    testSupport::TempFolder folder;
    folder.write("Kestavel-Nimbus-LV2-2.0-Linux_x86_64.zip", "zip");
    folder.write("Kestavel-Nimbus-VST3-2.0-Linux_x86_64.zip", "zip");
    folder.write("products.json", "{}");
    folder.write("beta/Kestavel-Nimbus-VST3-2.1-Linux_x86_64.zip", "zip");
    server.serveFolder(route(buildsServer, "nimbus/internal/"), folder.path());

    std::vector<Asset> assets;
    std::string error;
    bool hasProducts = false;
    ASSERT_TRUE(CatalogSource::fetchChannel("Nimbus", Channel::Internal, login, assets, error, &hasProducts))
        << error;
    ASSERT_EQ(assets.size(), 2u);
    EXPECT_TRUE(hasProducts);
    for (const auto& asset : assets)
    {
        EXPECT_EQ(asset.version, "2.0");
        ASSERT_EQ(asset.date.size(), 16u) << asset.url;
        EXPECT_EQ(asset.date[10], ' ');
    }
}

TEST_F(ChannelFolders, MentionOfProductsJsonAnywhereSetsTheFlag)
{
    server.setText(donators, "<p>See products.json for details</p>");
    std::vector<Asset> assets(2);
    std::string error;
    bool hasProducts = false;
    ASSERT_TRUE(CatalogSource::fetchChannel("aurora", Channel::Donators, login, assets, error, &hasProducts));
    EXPECT_TRUE(assets.empty());
    EXPECT_TRUE(hasProducts);
    // The flag is optional.
    EXPECT_TRUE(CatalogSource::fetchChannel("aurora", Channel::Donators, login, assets, error));
}

TEST_F(ChannelFolders, IncompleteLoginAsksNothing)
{
    std::vector<Asset> assets(1);
    std::string error;
    for (const Credentials& incomplete : {Credentials{"fan", ""}, Credentials{"", "pw"}})
    {
        EXPECT_FALSE(CatalogSource::fetchChannel("Aurora", Channel::Donators, incomplete, assets, error));
        EXPECT_EQ(error, "No login for this channel");
    }
    EXPECT_EQ(assets.size(), 1u);
    EXPECT_TRUE(server.requests().empty());
}

TEST_F(ChannelFolders, RefusedMissingOrUnreachableFolderIsWordedForTheUser)
{
    std::vector<Asset> assets(1);
    assets[0].product = "Kept";
    std::string error;
    bool hasProducts = true;

    EXPECT_FALSE(CatalogSource::fetchChannel("Aurora", Channel::Donators, {"fan", "bad"}, assets, error, &hasProducts));
    EXPECT_EQ(error, "Login rejected");

    server.setStatus(donators, 403);
    EXPECT_FALSE(CatalogSource::fetchChannel("Aurora", Channel::Donators, login, assets, error, &hasProducts));
    EXPECT_EQ(error, "Login rejected");

    // The name as the user typed it, so they see what to correct.
    EXPECT_FALSE(CatalogSource::fetchChannel("Borealis ", Channel::Donators, login, assets, error, &hasProducts));
    EXPECT_EQ(error, "There is nothing in " + urls().buildsServer +
                         "borealis/donators/.\n\nEither no build has been uploaded for \"Borealis \" yet, or that "
                         "is not the name the server knows it by.");

    server.setStatus(donators, 500);
    EXPECT_FALSE(CatalogSource::fetchChannel("Aurora", Channel::Donators, login, assets, error, &hasProducts));
    EXPECT_EQ(error, "Could not reach the server (HTTP 500)");

    testSupport::pointEndpointsAt(testSupport::closedLoopbackBase());
    EXPECT_FALSE(CatalogSource::fetchChannel("Aurora", Channel::Donators, login, assets, error, &hasProducts));
    EXPECT_EQ(error, "Could not reach the server (Failed to connect)");

    ASSERT_EQ(assets.size(), 1u);
    EXPECT_EQ(assets[0].product, "Kept");
    EXPECT_TRUE(hasProducts);
}

TEST_F(ChannelFolders, ChangelogKeepsTheClientsOwnWords)
{
    server.setText(internal + "changelog.txt", "1.5.0\n- Aurora: faster pads\n");
    std::string text;
    std::string error;
    ASSERT_TRUE(CatalogSource::fetchChangelog("AURORA", Channel::Internal, login, text, error)) << error;
    EXPECT_EQ(text, "1.5.0\n- Aurora: faster pads\n");

    EXPECT_FALSE(CatalogSource::fetchChangelog("Aurora", Channel::Donators, login, text, error));
    EXPECT_EQ(error, "HTTP 404");
    EXPECT_FALSE(CatalogSource::fetchChangelog("Aurora", Channel::Internal, {}, text, error));
    EXPECT_EQ(error, "HTTP 401");
    EXPECT_EQ(text, "1.5.0\n- Aurora: faster pads\n");
}
