#include "manager/catalog/catalogSource.h"
#include "manager/catalog/config.h"

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

    bool fetch(const std::string& name, Channel channel, const Credentials& credentials)
    {
        return CatalogSource::fetchChannel(name, channel, credentials, assets, error, &hasProducts);
    }

    const std::string donators = route(buildsServer, "aurora/donators/");
    const std::string internal = route(buildsServer, "aurora/internal/");
    const Credentials login{"fan", "pw"};
    testSupport::TestServer server;
    std::vector<Asset> assets = std::vector<Asset>(1);
    std::string error;
    bool hasProducts = false;
};
}

TEST_F(ChannelFolders, ListingGivesTheFoldersBuildsAndWhetherItMentionsProductsJson)
{
    ASSERT_TRUE(fetch(" Aurora ", Channel::Donators, login)) << error;
    ASSERT_EQ(assets.size(), 5u);
    EXPECT_EQ(assets[0].url, urls().buildsServer + "aurora/donators/Kestavel-Aurora-CLAP-1.4.0-Linux_x86_64.zip");
    EXPECT_TRUE(hasProducts);

    ASSERT_TRUE(fetch("Aurora", Channel::Internal, login));
    EXPECT_EQ(assets.at(0).channel, Channel::Internal);
    EXPECT_EQ(assets[0].url, urls().buildsServer + "aurora/internal/Kestavel-Aurora-1.5.0-Linux_aarch64.deb");
    EXPECT_FALSE(hasProducts);

    server.setText(donators, "<p>See products.json for details</p>");
    ASSERT_TRUE(fetch("aurora", Channel::Donators, login));
    EXPECT_TRUE(assets.empty());
    EXPECT_TRUE(hasProducts);
    EXPECT_TRUE(CatalogSource::fetchChannel("aurora", Channel::Donators, login, assets, error));
}

TEST_F(ChannelFolders, RefusedMissingOrUnreachableFolderIsWordedForTheUser)
{
    assets[0].product = "Kept";
    hasProducts = true;
    // An incomplete login asks nothing.
    for (const Credentials& incomplete : {Credentials{"fan", ""}, Credentials{"", "pw"}})
    {
        EXPECT_FALSE(fetch("Aurora", Channel::Donators, incomplete));
        EXPECT_EQ(error, "No login for this channel");
    }
    EXPECT_TRUE(server.requests().empty());

    for (const int refusal : {401, 403})
    {
        server.requireLogin(route(buildsServer, "aurora/"), "fan", "pw", refusal);
        EXPECT_FALSE(fetch("Aurora", Channel::Donators, {"fan", "bad"}));
        EXPECT_EQ(error, "Login rejected");
    }
    // The name as the user typed it, so they see what to correct.
    EXPECT_FALSE(fetch("Borealis ", Channel::Donators, login));
    EXPECT_EQ(error, "There is nothing in " + urls().buildsServer +
                         "borealis/donators/.\n\nEither no build has been uploaded for \"Borealis \" yet, or that "
                         "is not the name the server knows it by.");
    testSupport::pointEndpointsAt(testSupport::closedLoopbackBase());
    EXPECT_FALSE(fetch("Aurora", Channel::Donators, login));
    EXPECT_EQ(error, "Could not reach the server (Failed to connect)");

    ASSERT_EQ(assets.size(), 1u);
    EXPECT_EQ(assets[0].product, "Kept");
    EXPECT_TRUE(hasProducts);
}
