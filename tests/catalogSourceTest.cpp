// The catalog's web sources: the product lists, the public builds and the channel folders.
#include "manager/catalog/serverFolder.h"
#include "manager/sources/catalogSource.h"
#include "manager/sources/config.h"

#include "httpFixture.h"

using namespace pluginManager;
using testSupport::loopbackPath::buildsServer;
using testSupport::loopbackPath::productList;
using testSupport::loopbackPath::publicBuilds;
using testSupport::route;
using Texts = std::vector<std::string>;
using CatalogSources = httpTests::HttpFixture;

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

    // In an address each part of the folder is percent-escaped where a path may not hold it as it
    // stands; a folder that is empty or climbs with "." or ".." is no folder at all.
    const std::string refused = "refused";
    const std::pair<std::string, std::string> addresses[] = {
        {"Synth-1.2_x~", "synth-1.2_x~/donators/"}, {"x?y#z two", "x%3Fy%23z%20two/donators/"},
        {"100%+a:b", "100%25%2Ba%3Ab/donators/"}, {"\xc3\x9c" "ber", "%C3%9Cber/donators/"},
        {"a//b", "a//b/donators/"}, {"...", ".../donators/"},
        {"../../up", refused}, {"a/./b", refused}, {"a/..", refused}, {".", refused}, {"/", refused}, {"", refused},
    };
    for (const auto& [name, address] : addresses)
    {
        const bool isFolder = isServerFolder(CatalogSource::folderName(name));
        EXPECT_EQ(isFolder ? CatalogSource::channelUrl(name, Channel::Donators) : refused,
                  isFolder ? server + address : address) << '"' << name << '"';
    }
}

namespace
{
// Nested far too deep for the parser: refused unread, as text that is no JSON.
const std::string tooDeep(200000, '[');

// Id, slug, name, year, the texts shown when there are any, then each file section: its folder
// and its downloads (url>path).
Texts describe(const std::vector<Product>& products)
{
    Texts texts;
    for (const Product& p : products)
    {
        std::string text = p.id + "|" + p.slug + "|" + p.name + "|" + std::to_string(p.year);
        const auto shown = p.description + "|" + p.thumbnail + "|" + p.category + "|" + p.manufacturer + "|" +
                           p.originalName;
        text += shown == "||||" ? "" : " (" + shown + ")";
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

// Entries without id and those that are no objects are dropped; duplicates of an id stay. Sections
// and downloads without an address go; a section without folder stays. The older lists name the
// array "plugins"; anything else is an empty list. A channel folder's own list gives its first
// product; a failure leaves the product as it was.
TEST_F(CatalogSources, ProductListsReadEveryFieldTheSlugRuleAndThePluginsFallback)
{
    const std::string channelList = route(buildsServer, "aurora/donators/products.json");
    server.requireLogin(route(buildsServer, "aurora/"), "fan", "pw");
    const std::pair<std::string, Texts> cases[] = {
        {g_productList,
         {"Aurora|aurora|Aurora Synth|1987 (Pads|aurora.png|Synths|Kestavel|AU-1) [presets https://x.test/a.bin "
          "https://x.test/b.bin>sub/b.bin] [ https://x.test/c]",
          "MixedCase|mixedcase|MixedCase|0", "Given|KeepCase|Given|0", "NoFolder||NoFolder|0",
          "Aurora|aurora|Aurora|0"}},
        {R"({"products": {"a": 1}, "plugins": [{"id": "Old"}]})", {"Old|old|Old|0"}},
        {R"([{"id": "InAnArray"}])", {}}, {"not json", {}}, {tooDeep, {}},
    };
    std::vector<Product> products;
    Product first;
    for (const auto& [text, expected] : cases)
    {
        products.resize(2);
        server.setText(route(productList), text);
        server.setText(channelList, text);
        EXPECT_TRUE(CatalogSource::fetchPublicProducts(products, error)) << text.substr(0, 20);
        EXPECT_EQ(describe(products), expected) << text.substr(0, 20);
        const bool found = CatalogSource::fetchChannelProduct(" Aurora ", Channel::Donators, {"fan", "pw"}, first);
        EXPECT_EQ(found, !expected.empty()) << text.substr(0, 20);
        // A failure leaves the product of the last list that had one.
        EXPECT_EQ(describe({first})[0], found ? expected[0] : "Old|old|Old|0") << text.substr(0, 20);
    }

    // A list that cannot be fetched leaves the caller's list alone.
    server.setStatus(route(productList), 404);
    products.resize(1);
    EXPECT_FALSE(CatalogSource::fetchPublicProducts(products, error));
    EXPECT_EQ(error + " " + std::to_string(products.size()), "Could not download the product list 1");
}

// Our own copy gives the releases in its list's order, skipping those it cannot read; without any
// build in it the hosting service's list is asked. The caller's list keeps what it had and grows,
// or stays as it was on a failure.
TEST_F(CatalogSources, PublicBuildsFromOurCopyOrElseTheApi)
{
    const std::string a = "https://x.test/a.zip", d = "https://x.test/d.deb";
    const auto serve = [this](const std::string& name, const std::string& text) {
        server.setText(route(publicBuilds, name), text);
    };
    serve("1.4.0.json", R"({"published_at": "2024-05-01T12:34", "assets": [7,
        {"name": "Kestavel-Aurora-VST3-1.4.0-Linux_x86_64.zip", "browser_download_url": ")" + a + R"("},
        {"name": "Aurora-1.4.0-notes.txt", "browser_download_url": "https://x.test/notes.txt"},
        {"name": "Kestavel-Aurora-CLAP-1.4.0-win64.zip", "browser_download_url": ""}]})");
    serve("broken.json", tooDeep);
    serve("1.3.0.json", release("2024-05-01T12:3", "Kestavel-Aurora-1.3.0-Linux_aarch64.deb", d));
    serve("nobuilds.json", release("2024-05-01T12:34:56Z", "readme.txt", "https://x.test/r.txt"));
    const std::string api =
        "[" + release("2024-01-01T10:20:30Z", "Kestavel-Api-1.0-win64.zip", "https://x.test/api.zip") + "]";
    const std::string fromApi = "ok|| @ https://x.test/api.zip@2024-01-01 10:20";
    const std::string unexpected = "failed|Unexpected response from GitHub| @";
    // our list of releases (none at first), the service's answer, the outcome and the caller's list
    const std::tuple<std::string, std::string, std::string> cases[] = {
        {"", api, fromApi},
        // A release listed twice counts twice.
        {R"(["1.4.0", "", "missing", "broken", "1.3.0", "1.4.0"])", api,
         "ok|| @ " + a + "@2024-05-01 12:34 " + d + "@ " + a + "@2024-05-01 12:34"},
        {R"({"1.0": true})", api, fromApi}, {"[]", api, fromApi},
        {R"(["gone", "nobuilds"])", api, fromApi}, {tooDeep, api, fromApi},
        {"[]", R"({"message": "API rate limit exceeded"})", unexpected}, {"[]", tooDeep, unexpected},
        {"[]", "[]", "ok|| @"},
    };
    const auto fetched = [this] {
        std::vector<Asset> assets(1);
        std::string text = CatalogSource::fetchPublic(assets, error) ? "ok|" : "failed|";
        text += error + "|";
        for (const auto& asset : assets)
            text += " " + asset.url + "@" + asset.date;
        return text;
    };
    // At first there is no list of ours.
    server.setStatus(route(publicBuilds, "versions.json"), 404);
    for (const auto& [versions, answer, expected] : cases)
    {
        if (!versions.empty())
            serve("versions.json", versions);
        server.setText(route(testSupport::loopbackPath::releasesApi), answer);
        EXPECT_EQ(fetched(), expected) << versions.substr(0, 20) << answer.substr(0, 20);
    }
    testSupport::pointEndpointsAt(testSupport::closedLoopbackBase());
    EXPECT_EQ(fetched(), "failed|Could not reach GitHub: Failed to connect| @");
}

// An incomplete login asks nothing. A missing folder names the folder, and the name as the user
// typed it, so they see what to correct. A failure leaves the caller's list and flag alone.
TEST_F(CatalogSources, ARefusedMissingOrUnreachableChannelFolderIsWordedForTheUser)
{
    server.requireLogin(route(buildsServer, "aurora/"), "fan", "pw", 401);
    server.requireLogin(route(buildsServer, "cyan/"), "fan", "pw", 403);
    // Redirected in a circle: the request never gets through.
    server.redirect(route(buildsServer, "dusk/donators/"), route(buildsServer, "dusk/donators/"));
    const std::string nothing = "There is nothing in " + urls().buildsServer + "borealis/donators/.\n\nEither no "
                                "build has been uploaded for \"Borealis \" yet, or that is not the name the server "
                                "knows it by.";
    const std::tuple<std::string, Credentials, std::string> cases[] = {
        {"Aurora", {"fan", ""}, "No login for this channel"}, {"Aurora", {"", "pw"}, "No login for this channel"},
        {"Aurora", {"fan", "bad"}, "Login rejected"}, {"Cyan", {"fan", "bad"}, "Login rejected"},
        {"Borealis ", {"fan", "pw"}, nothing},
        {"Dusk", {"fan", "pw"}, "Could not reach the server (Failed to connect)"},
    };
    std::vector<Asset> assets(1);
    bool hasProducts = true;
    for (const auto& [name, login, message] : cases)
    {
        EXPECT_FALSE(CatalogSource::fetchChannel(name, Channel::Donators, login, assets, error, &hasProducts));
        EXPECT_EQ(error, message) << name;
    }
    EXPECT_EQ(server.requestCount(route(buildsServer, "aurora/donators/")), 1u);
    EXPECT_EQ(assets.size(), 1u);
    EXPECT_TRUE(hasProducts);
}
