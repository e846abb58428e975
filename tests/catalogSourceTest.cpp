#include "manager/catalogSource.h"
#include "manager/config.h"

#include "support/testEndpoints.h"
#include "support/testServer.h"

#include <gtest/gtest.h>

using namespace pluginManager;
using testSupport::loopbackPath::buildsServer;
using testSupport::loopbackPath::productList;
using testSupport::route;

TEST(CatalogSourceFolder, NamesAndAddressesGiveTheServersFolderName)
{
    const std::string server = urls().buildsServer;
    EXPECT_EQ(CatalogSource::folderName("  Foo \t"), "foo");
    EXPECT_EQ(CatalogSource::folderName("FOO"), "foo");
    EXPECT_EQ(CatalogSource::folderName(server + "Foo/donators/"), "foo");
    EXPECT_EQ(CatalogSource::folderName(server + "Foo/internal/"), "foo");
    EXPECT_EQ(CatalogSource::folderName("https://x.test/BUILDS/Foo/DONATORS"), "foo");
    EXPECT_EQ(CatalogSource::folderName("a/builds/b/builds/Synth"), "synth");
    EXPECT_EQ(CatalogSource::folderName("foo/donators//"), "foo");
    EXPECT_EQ(CatalogSource::folderName("//foo//"), "foo");
    // Each suffix goes once, "/donators" first.
    EXPECT_EQ(CatalogSource::folderName("a/internal/donators"), "a");
    EXPECT_EQ(CatalogSource::folderName("a/donators/internal"), "a/donators");
    EXPECT_EQ(CatalogSource::folderName("internal"), "internal");
    EXPECT_EQ(CatalogSource::folderName(""), "");
}

TEST(CatalogSourceFolder, ChannelUrlPicksTheChannelsSubFolder)
{
    const std::string server = urls().buildsServer;
    EXPECT_EQ(CatalogSource::channelUrl(" Foo ", Channel::Internal), server + "foo/internal/");
    EXPECT_EQ(CatalogSource::channelUrl("Foo", Channel::Donators), server + "foo/donators/");
    EXPECT_EQ(CatalogSource::channelUrl("Foo", Channel::Public), server + "foo/donators/");
    EXPECT_EQ(CatalogSource::channelUrl("", Channel::Donators), server + "/donators/");
}

namespace
{
class ProductLists : public ::testing::Test
{
protected:
    void SetUp() override { testSupport::pointEndpointsAt(server.url("/")); }

    const std::string internalList = route(buildsServer, "internal/products.json");
    testSupport::TestServer server;
};

const char* g_productList = R"({
  "plugins": [ { "product": "FromPlugins" } ],
  "products": [
    { "product": "Aurora", "id": "ignored", "name": "Aurora Synth", "description": "Pads",
      "thumbnail": "aurora.png", "category": "Synths", "manufacturer": "Kestavel",
      "originalName": "AU-1", "year": 1987,
      "files": [
        { "folder": "presets", "urls": [ "https://x.test/a.bin",
                                         { "url": "https://x.test/b.bin", "path": "sub/b.bin" },
                                         { "path": "no-url.bin" }, 42 ] },
        { "folder": "empty", "urls": [ { "path": "only-path" }, "" ] },
        { "folder": "", "urls": [ "https://x.test/c.mid" ] },
        "not a section",
        { "folder": "not-an-array", "urls": "https://x.test/d.bin" } ] },
    { "product": "", "id": "MixedCase" },
    { "id": "Given", "slug": "KeepCase" },
    { "id": "NoFolder", "slug": "" },
    { "slug": "orphan", "name": "Nameless", "product": "" },
    "not a product",
    { "product": "Aurora", "files": "none" }
  ]
})";
}

TEST_F(ProductLists, PublicListReadsEveryFieldAndTheSlugRule)
{
    server.setText(route(productList), g_productList, "application/json");
    std::vector<Product> products;
    std::string error;
    ASSERT_TRUE(CatalogSource::fetchPublicProducts(products, error)) << error;
    // The public list is fetched without a login.
    EXPECT_FALSE(server.requestsFor(route(productList)).at(0).hasHeader("Authorization"));

    // Entries without id and those that are no objects are dropped; duplicates of an id stay.
    ASSERT_EQ(products.size(), 5u);
    const Product& a = products[0];
    EXPECT_EQ(a.id + "|" + a.slug + "|" + a.name + "|" + a.description + "|" + a.thumbnail + "|" + a.category + "|" +
                  a.manufacturer + "|" + a.originalName + "|" + std::to_string(a.year),
              "Aurora|aurora|Aurora Synth|Pads|aurora.png|Synths|Kestavel|AU-1|1987");
    // Sections and downloads without an address go; a section without folder stays.
    ASSERT_EQ(a.files.size(), 2u);
    EXPECT_EQ(a.files[0].folder, "presets");
    ASSERT_EQ(a.files[0].downloads.size(), 2u);
    EXPECT_EQ(a.files[0].downloads[0].url + "|" + a.files[0].downloads[0].path, "https://x.test/a.bin|");
    EXPECT_EQ(a.files[0].downloads[1].url + "|" + a.files[0].downloads[1].path, "https://x.test/b.bin|sub/b.bin");
    EXPECT_EQ(a.files[1].folder, "");
    EXPECT_EQ(a.files[1].downloads.at(0).url, "https://x.test/c.mid");

    const Product& mixed = products[1];
    EXPECT_EQ(mixed.id + "|" + mixed.slug + "|" + mixed.name, "MixedCase|mixedcase|MixedCase");
    EXPECT_EQ(mixed.year, 0);
    EXPECT_EQ(products[2].slug, "KeepCase");
    EXPECT_EQ(products[3].id + "|" + products[3].slug, "NoFolder|");
    EXPECT_EQ(products[4].id, "Aurora");
    EXPECT_TRUE(products[4].files.empty());
}

TEST_F(ProductLists, PluginsArrayIsTheFallbackAndAnythingElseIsAnEmptyList)
{
    std::vector<Product> products(3);
    std::string error;
    server.setText(route(productList), R"({"products": {"a": 1}, "plugins": [{"id": "Old"}]})");
    ASSERT_TRUE(CatalogSource::fetchPublicProducts(products, error));
    ASSERT_EQ(products.size(), 1u);
    EXPECT_EQ(products[0].id, "Old");

    for (const char* text : {R"([{"id": "InAnArray"}])", "not json", R"({"products": 1})", ""})
    {
        products.resize(2);
        server.setText(route(productList), text);
        EXPECT_TRUE(CatalogSource::fetchPublicProducts(products, error)) << text;
        EXPECT_TRUE(products.empty()) << text;
    }
    EXPECT_TRUE(error.empty());
}

TEST_F(ProductLists, PublicListThatCannotBeFetchedLeavesTheListAlone)
{
    std::vector<Product> products(1);
    products[0].id = "Kept";
    std::string error;
    EXPECT_FALSE(CatalogSource::fetchPublicProducts(products, error));
    EXPECT_EQ(error, "Could not download the product list");
    ASSERT_EQ(products.size(), 1u);
    EXPECT_EQ(products[0].id, "Kept");
}

TEST_F(ProductLists, InternalListNeedsTheLoginAndNamesEachFailure)
{
    server.setText(internalList, R"({"products": [{"product": "Nimbus"}]})");
    server.requireLogin(route(buildsServer, "internal/"), "team", "secret");
    std::vector<Product> products;
    std::string error;

    ASSERT_TRUE(CatalogSource::fetchInternalProducts({"team", "secret"}, products, error)) << error;
    ASSERT_EQ(products.size(), 1u);
    EXPECT_EQ(products[0].slug, "nimbus");

    products[0].id = "Kept";
    EXPECT_FALSE(CatalogSource::fetchInternalProducts({"team", "wrong"}, products, error));
    EXPECT_EQ(error, "Login rejected");
    ASSERT_EQ(products.size(), 1u);
    EXPECT_EQ(products[0].id, "Kept");

    server.setStatus(internalList, 403);
    EXPECT_FALSE(CatalogSource::fetchInternalProducts({"team", "secret"}, products, error));
    EXPECT_EQ(error, "Login rejected");

    server.setStatus(internalList, 404);
    EXPECT_FALSE(CatalogSource::fetchInternalProducts({"team", "secret"}, products, error));
    EXPECT_EQ(error, "The server has no product list.");

    server.setStatus(internalList, 500);
    EXPECT_FALSE(CatalogSource::fetchInternalProducts({"team", "secret"}, products, error));
    EXPECT_EQ(error, "Could not reach the server (HTTP 500)");

    testSupport::pointEndpointsAt(testSupport::closedLoopbackBase());
    EXPECT_FALSE(CatalogSource::fetchInternalProducts({"team", "secret"}, products, error));
    EXPECT_EQ(error, "Could not reach the server (Failed to connect)");
    EXPECT_EQ(products[0].id, "Kept");
}

TEST_F(ProductLists, ChannelProductIsTheFirstOfTheFoldersList)
{
    const std::string file = route(buildsServer, "aurora/donators/products.json");
    server.requireLogin(route(buildsServer, "aurora/"), "fan", "pw");
    server.setText(file, R"({"products": [
        {"id": "Aurora", "files": [{"folder": "roms", "urls": ["https://x.test/rom.bin"]}]},
        {"id": "Second"}]})");

    Product product;
    ASSERT_TRUE(CatalogSource::fetchChannelProduct(" Aurora ", Channel::Donators, {"fan", "pw"}, product));
    EXPECT_EQ(product.id, "Aurora");
    ASSERT_EQ(product.files.size(), 1u);
    EXPECT_EQ(product.files[0].downloads[0].url, "https://x.test/rom.bin");

    // Failures say nothing and leave the product as it was.
    product.name = "Kept";
    EXPECT_FALSE(CatalogSource::fetchChannelProduct("Aurora", Channel::Donators, {"fan", "bad"}, product));
    EXPECT_FALSE(CatalogSource::fetchChannelProduct("Aurora", Channel::Internal, {"fan", "pw"}, product));
    server.setText(file, R"({"products": [{"id": ""}]})");
    EXPECT_FALSE(CatalogSource::fetchChannelProduct("Aurora", Channel::Donators, {"fan", "pw"}, product));
    server.setText(file, "[]");
    EXPECT_FALSE(CatalogSource::fetchChannelProduct("Aurora", Channel::Donators, {"fan", "pw"}, product));
    EXPECT_EQ(product.name, "Kept");
    EXPECT_EQ(product.id, "Aurora");
}
