// The catalog's web sources: the product lists, the public builds and the channel folders.
#include "manager/sources/catalogSource.h"
#include "manager/sources/config.h"

#include "httpFixture.h"

using namespace pluginManager;
using testSupport::loopbackPath::buildsServer;
using testSupport::loopbackPath::productList;
using testSupport::loopbackPath::publicBuilds;
using testSupport::loopbackPath::releasesApi;
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

class CatalogSources : public httpTests::HttpFixture
{
protected:
    void serveList(const std::string& text) { server.setText(route(productList), text, "application/json"); }
    void serveCopy(const std::string& name, const std::string& text) { server.setText(route(publicBuilds, name), text); }

    std::vector<Product> products;
    std::vector<Asset> assets;
};
using ProductLists = CatalogSources;
using PublicBuilds = CatalogSources;

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

TEST_F(PublicBuilds, OwnCopyGivesTheReleasesInListOrder)
{
    const std::string a = "https://x.test/a.zip", d = "https://x.test/d.deb";
    serveCopy("versions.json", R"(["1.4.0", "", "missing", "broken", "1.3.0", "1.4.0"])");
    serveCopy("1.4.0.json", R"({"published_at": "2024-05-01T12:34", "assets": [7,
        {"name": "Kestavel-Aurora-VST3-1.4.0-Linux_x86_64.zip", "browser_download_url": ")" + a + R"("},
        {"name": "Aurora-1.4.0-notes.txt", "browser_download_url": "https://x.test/notes.txt"},
        {"name": "Kestavel-Aurora-CLAP-1.4.0-win64.zip", "browser_download_url": ""}]})");
    serveCopy("broken.json", tooDeep);
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
    const std::string cases[] = {"", R"({"1.0": true})", "[]", R"(["gone", "nobuilds"])", tooDeep};
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
    for (const auto& answer : {std::string(R"({"message": "API rate limit exceeded"})"), tooDeep})
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

TEST_F(CatalogSources, ARefusedMissingOrUnreachableChannelFolderIsWordedForTheUser)
{
    const Credentials login{"fan", "pw"};
    bool hasProducts = true;
    const auto fetch = [&](const std::string& name, const Credentials& credentials) {
        return CatalogSource::fetchChannel(name, Channel::Donators, credentials, assets, error, &hasProducts);
    };
    assets.resize(1);
    assets[0].product = "Kept";
    // An incomplete login asks nothing.
    for (const Credentials& incomplete : {Credentials{"fan", ""}, Credentials{"", "pw"}})
    {
        EXPECT_FALSE(fetch("Aurora", incomplete));
        EXPECT_EQ(error, "No login for this channel");
    }
    EXPECT_TRUE(server.requests().empty());

    for (const int refusal : {401, 403})
    {
        server.requireLogin(route(buildsServer, "aurora/"), "fan", "pw", refusal);
        EXPECT_FALSE(fetch("Aurora", {"fan", "bad"}));
        EXPECT_EQ(error, "Login rejected");
    }
    // The name as the user typed it, so they see what to correct.
    EXPECT_FALSE(fetch("Borealis ", login));
    EXPECT_EQ(error, "There is nothing in " + urls().buildsServer +
                         "borealis/donators/.\n\nEither no build has been uploaded for \"Borealis \" yet, or that "
                         "is not the name the server knows it by.");
    testSupport::pointEndpointsAt(testSupport::closedLoopbackBase());
    EXPECT_FALSE(fetch("Aurora", login));
    EXPECT_EQ(error, "Could not reach the server (Failed to connect)");

    ASSERT_EQ(assets.size(), 1u);
    EXPECT_EQ(assets[0].product, "Kept");
    EXPECT_TRUE(hasProducts);
}
