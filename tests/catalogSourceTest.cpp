#include "manager/catalog/catalogSource.h"
#include "manager/catalog/config.h"

#include "support/testEndpoints.h"
#include "support/testServer.h"

#include <gtest/gtest.h>

using namespace pluginManager;
using testSupport::loopbackPath::buildsServer;
using testSupport::loopbackPath::productList;
using testSupport::route;
using Texts = std::vector<std::string>;

TEST(CatalogSourceFolder, NamesAndAddressesGiveTheServersFolderName)
{
    const std::string server = urls().buildsServer;
    // Each suffix goes once, "/donators" first; case is ignored and the result is lower case.
    const std::pair<std::string, std::string> cases[] = {
        {"  Foo \t", "foo"}, {server + "Foo/internal/", "foo"}, {"https://x.test/BUILDS/Foo/DONATORS", "foo"},
        {"a/builds/b/builds/Synth", "synth"}, {"foo/donators//", "foo"}, {"//foo//", "foo"},
        {"a/internal/donators", "a"}, {"a/donators/internal", "a/donators"}, {"internal", "internal"}, {"", ""},
    };
    for (const auto& [name, folder] : cases)
        EXPECT_EQ(CatalogSource::folderName(name), folder) << '"' << name << '"';

    EXPECT_EQ(CatalogSource::channelUrl(" Foo ", Channel::Internal), server + "foo/internal/");
    EXPECT_EQ(CatalogSource::channelUrl("Foo", Channel::Public), server + "foo/donators/");
}

namespace
{
// Nested far too deep for the parser: refused unread, as text that is no JSON.
const std::string tooDeep(200000, '[');

class ProductLists : public ::testing::Test
{
protected:
    void SetUp() override { testSupport::pointEndpointsAt(server.url("/")); }
    void serveList(const std::string& text) { server.setText(route(productList), text, "application/json"); }

    testSupport::TestServer server;
    std::vector<Product> products;
    std::string error;
};

// Id, slug, name, year, then each file section: its folder and its downloads (url>path).
Texts describe(const std::vector<Product>& products)
{
    Texts texts;
    for (const Product& p : products)
    {
        std::string text = p.id + "|" + p.slug + "|" + p.name + "|" + std::to_string(p.year);
        for (const auto& section : p.files)
        {
            text += " [" + section.folder;
            for (const auto& download : section.downloads)
                text += " " + download.url + (download.path.empty() ? "" : ">" + download.path);
            text += "]";
        }
        texts.push_back(text);
    }
    return texts;
}

const char* g_productList = R"({
  "plugins": [ { "product": "FromPlugins" } ],
  "products": [
    { "product": "Aurora", "id": "ignored", "name": "Aurora Synth", "description": "Pads", "thumbnail": "aurora.png",
      "category": "Synths", "manufacturer": "Kestavel", "originalName": "AU-1", "year": 1987, "files": [
        { "folder": "presets", "urls": [ "https://x.test/a.bin", { "url": "https://x.test/b.bin", "path": "sub/b.bin" },
                                         { "path": "no-url.bin" }, 42 ] },
        { "folder": "empty", "urls": [ { "path": "only-path" }, "" ] }, { "folder": "", "urls": [ "https://x.test/c" ]},
        "not a section", { "folder": "not-an-array", "urls": "https://x.test/d.bin" } ] },
    { "product": "", "id": "MixedCase" }, { "id": "Given", "slug": "KeepCase" }, { "id": "NoFolder", "slug": "" },
    { "slug": "orphan", "name": "Nameless", "product": "" }, "not a product", { "product": "Aurora", "files": "none" }
  ]
})";
}

TEST_F(ProductLists, PublicListReadsEveryFieldAndTheSlugRule)
{
    serveList(g_productList);
    ASSERT_TRUE(CatalogSource::fetchPublicProducts(products, error)) << error;

    // Entries without id and those that are no objects are dropped; duplicates of an id stay.
    // Sections and downloads without an address go; a section without folder stays.
    EXPECT_EQ(describe(products),
              (Texts{"Aurora|aurora|Aurora Synth|1987 [presets https://x.test/a.bin https://x.test/b.bin>sub/b.bin]"
                     " [ https://x.test/c]",
                     "MixedCase|mixedcase|MixedCase|0", "Given|KeepCase|Given|0", "NoFolder||NoFolder|0",
                     "Aurora|aurora|Aurora|0"}));
    const Product& a = products.at(0);
    EXPECT_EQ(a.description + "|" + a.thumbnail + "|" + a.category + "|" + a.manufacturer + "|" + a.originalName,
              "Pads|aurora.png|Synths|Kestavel|AU-1");
}

TEST_F(ProductLists, PluginsArrayIsTheFallbackAndAnythingElseIsAnEmptyList)
{
    serveList(R"({"products": {"a": 1}, "plugins": [{"id": "Old"}]})");
    ASSERT_TRUE(CatalogSource::fetchPublicProducts(products, error));
    EXPECT_EQ(describe(products), Texts{"Old|old|Old|0"});

    for (const std::string& text : {std::string(R"([{"id": "InAnArray"}])"), std::string("not json"), tooDeep})
    {
        products.resize(2);
        serveList(text);
        EXPECT_TRUE(CatalogSource::fetchPublicProducts(products, error)) << text.substr(0, 20);
        EXPECT_TRUE(products.empty()) << text.substr(0, 20);
    }
    EXPECT_TRUE(error.empty());

    // A list that cannot be fetched leaves the caller's list alone.
    server.setStatus(route(productList), 404);
    EXPECT_FALSE(CatalogSource::fetchPublicProducts(products, error));
    EXPECT_EQ(error, "Could not download the product list");
}

TEST_F(ProductLists, ChannelProductIsTheFirstOfTheFoldersList)
{
    const std::string file = route(buildsServer, "aurora/donators/products.json");
    server.requireLogin(route(buildsServer, "aurora/"), "fan", "pw");
    server.setText(file, R"({"products": [
        {"id": "Aurora", "files": [{"folder": "roms", "urls": ["https://x.test/rom.bin"]}]}, {"id": "Second"}]})");

    Product product;
    ASSERT_TRUE(CatalogSource::fetchChannelProduct(" Aurora ", Channel::Donators, {"fan", "pw"}, product));
    const Texts first{"Aurora|aurora|Aurora|0 [roms https://x.test/rom.bin]"};
    EXPECT_EQ(describe({product}), first);

    // Failures say nothing and leave the product as it was.
    EXPECT_FALSE(CatalogSource::fetchChannelProduct("Aurora", Channel::Internal, {"fan", "pw"}, product));
    for (const std::string& text : {std::string("[]"), tooDeep})
    {
        server.setText(file, text);
        EXPECT_FALSE(CatalogSource::fetchChannelProduct("Aurora", Channel::Donators, {"fan", "pw"}, product));
    }
    EXPECT_EQ(describe({product}), first);
}
