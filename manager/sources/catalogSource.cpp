#include "manager/sources/catalogSource.h"

#include "manager/catalog/serverFolder.h"
#include "manager/http/httpClient.h"
#include "manager/http/sideBySide.h"
#include "manager/platform/json.h"
#include "manager/platform/log.h"
#include "manager/platform/plainName.h"
#include "manager/sources/config.h"
#include "manager/sources/directoryIndex.h"

#include <juce_core/juce_core.h>

namespace pluginManager
{
namespace
{
std::string textOf(const juce::var& value) { return value.toString().toStdString(); }

// The texts of a product list that are shown as they stand: in lists, in messages and in the log. A
// control character among them could forge a line or command the user's terminal. A description is
// never shown here, and a front end may lay out its line breaks.
std::string listTextOf(const juce::var& value) { return withoutControlCharacters(textOf(value)); }

// Our servers answer a refused login with 401 or 403 and a missing folder with 404; everything
// else means the request did not get through, and the client's own text says why.
std::string loginFailureMessage(const std::string& error, const std::string& notFoundText)
{
    if (HttpClient::isAuthError(error))
        return "Login rejected";
    if (HttpClient::isNotFound(error))
        return notFoundText;
    return "Could not reach the server (" + error + ")";
}

// A name whose folder would be empty, or would climb out of the builds folder, is asked for
// nowhere: its request would land in some other folder.
bool refuseFolderless(const std::string& name, std::string& error)
{
    if (isServerFolder(serverFolderName(name)))
        return false;
    error = "\"" + withoutControlCharacters(name) + "\" cannot name a folder on the builds server: its folder name "
            "would be empty or hold \".\" or \"..\" between slashes.";
    return true;
}

// A download is either a bare address or an object with the address and a path below the folder.
bool readDownload(const juce::var& element, FileSection::Download& download)
{
    if (element.isString())
        download = {listTextOf(element), {}};
    else if (element.isObject())
        download = {listTextOf(element["url"]), listTextOf(element["path"])};
    else
        return false;
    return !download.url.empty();
}

std::vector<FileSection> readFileSections(const juce::var& files)
{
    std::vector<FileSection> sections;
    if (!files.isArray())
        return sections;
    for (const auto& element : *files.getArray())
    {
        if (!element.isObject())
            continue;
        FileSection section;
        section.folder = listTextOf(element["folder"]);
        const juce::var& urls = element["urls"];
        if (urls.isArray())
        {
            for (const auto& entry : *urls.getArray())
            {
                FileSection::Download download;
                if (readDownload(entry, download))
                    section.downloads.push_back(std::move(download));
            }
        }
        if (!section.downloads.empty())
            sections.push_back(std::move(section));
    }
    return sections;
}

// False for an entry without id: nothing could ever be matched against it.
bool readProduct(const juce::var& object, Product& product)
{
    product.slug = listTextOf(object["slug"]);
    product.id = listTextOf(object["product"]);
    if (product.id.empty())
        product.id = listTextOf(object["id"]);
    product.name = listTextOf(object["name"]);
    product.description = textOf(object["description"]);
    product.thumbnail = listTextOf(object["thumbnail"]);
    product.category = listTextOf(object["category"]);
    product.manufacturer = listTextOf(object["manufacturer"]);
    product.originalName = listTextOf(object["originalName"]);
    product.year = static_cast<int>(object["year"]);
    product.files = readFileSections(object["files"]);

    // Older lists carry no slug: their folder on the builds server is the id's folder name. A
    // slug that is given is taken as it stands, also an empty one (no folder).
    const auto* fields = object.getDynamicObject();
    const bool hasSlugKey = fields != nullptr && fields->hasProperty("slug");
    if (!hasSlugKey && !product.id.empty())
        product.slug = serverFolderName(product.id);
    if (product.id.empty())
        return false;
    if (product.name.empty())
        product.name = product.id;
    return true;
}

std::vector<Product> parseProducts(const std::string& text)
{
    std::vector<Product> products;
    juce::var root;
    if (!parseJson(text, root) || !root.isObject())
        return products;
    // The older lists name the array "plugins".
    const juce::var& list = root["products"].isArray() ? root["products"] : root["plugins"];
    if (!list.isArray())
        return products;
    for (const auto& element : *list.getArray())
    {
        Product product;
        if (element.isObject() && readProduct(element, product))
            products.push_back(std::move(product));
    }
    return products;
}

// "2024-05-01T12:34:56Z" becomes "2024-05-01 12:34".
std::string releaseDate(const juce::var& release)
{
    const juce::String published = release["published_at"].toString();
    if (published.length() <= 15)
        return {};
    return (published.substring(0, 10) + " " + published.substring(11, 16)).toStdString();
}

void parseReleaseAssets(const juce::var& release, std::vector<Asset>& assets)
{
    if (!release.isObject())
        return;
    const juce::var& files = release["assets"];
    const std::string date = releaseDate(release);
    if (!files.isArray())
        return;
    for (const auto& file : *files.getArray())
    {
        if (!file.isObject())
            continue;
        Asset asset;
        if (!parseAssetName(textOf(file["name"]), asset))
            continue;
        asset.url = textOf(file["browser_download_url"]);
        asset.channel = Channel::Public;
        asset.date = date;
        if (!asset.url.empty())
            assets.push_back(std::move(asset));
    }
}

// The builds of one release of our copy; none when its file cannot be read, which must not hide
// the other releases.
std::vector<Asset> fetchRelease(const std::string& name)
{
    std::vector<Asset> assets;
    std::string text;
    std::string error;
    juce::var release;
    if (HttpClient::fetchString(urls().publicBuilds + name + ".json", text, error) && parseJson(text, release))
        parseReleaseAssets(release, assets);
    return assets;
}

// Our copy of the release lists: versions.json names the releases, one file per release. The
// files are asked for side by side; their builds go in the order of the list.
bool fetchOwnReleaseCopy(std::vector<Asset>& gathered, std::string& error)
{
    std::string text;
    if (!HttpClient::fetchString(urls().publicBuilds + "versions.json", text, error))
        return false;
    juce::var names;
    if (!parseJson(text, names) || !names.isArray())
    {
        error = "Unexpected version list";
        return false;
    }
    std::vector<std::string> releases;
    for (const auto& entry : *names.getArray())
    {
        const std::string name = textOf(entry);
        if (!name.empty())
            releases.push_back(name);
    }
    for (const std::vector<Asset>& assets : SideBySide::each(releases, fetchRelease))
        gathered.insert(gathered.end(), assets.begin(), assets.end());
    if (gathered.empty())
    {
        error = "No builds in the cache";
        return false;
    }
    return true;
}

bool fetchReleasesApi(std::vector<Asset>& gathered, std::string& error)
{
    std::string text;
    if (!HttpClient::fetchString(urls().releasesApi, text, error))
    {
        error = "Could not reach GitHub: " + error;
        return false;
    }
    juce::var releases;
    if (!parseJson(text, releases) || !releases.isArray())
    {
        error = "Unexpected response from GitHub";
        return false;
    }
    for (const auto& release : *releases.getArray())
        parseReleaseAssets(release, gathered);
    return true;
}
}

std::string CatalogSource::folderName(const std::string& name) { return serverFolderName(name); }

std::string CatalogSource::channelUrl(const std::string& name, Channel channel)
{
    return urls().buildsServer + serverFolderPath(folderName(name)) + "/" +
           (channel == Channel::Internal ? "internal/" : "donators/");
}

bool CatalogSource::fetchPublicProducts(std::vector<Product>& products, std::string& error)
{
    std::string text;
    if (!HttpClient::fetchString(urls().productList, text, error))
    {
        error = "Could not download the product list";
        return false;
    }
    products = parseProducts(text);
    return true;
}

bool CatalogSource::fetchInternalProducts(const Credentials& login, std::vector<Product>& products,
                                          std::string& error)
{
    std::string text;
    if (!HttpClient::fetchString(urls().buildsServer + "internal/products.json", text, error, login))
    {
        error = loginFailureMessage(error, "The server has no product list.");
        return false;
    }
    products = parseProducts(text);
    return true;
}

bool CatalogSource::fetchChannelProduct(const std::string& name, Channel channel, const Credentials& login,
                                        Product& product)
{
    std::string text;
    std::string error;
    if (refuseFolderless(name, error) ||
        !HttpClient::fetchString(channelUrl(name, channel) + "products.json", text, error, login))
        return false;
    std::vector<Product> products = parseProducts(text);
    if (products.empty())
        return false;
    product = std::move(products.front());
    return true;
}

bool CatalogSource::fetchPublic(std::vector<Asset>& assets, std::string& error)
{
    std::vector<Asset> gathered;
    if (fetchOwnReleaseCopy(gathered, error))
    {
        Log::write("Public builds: " + std::to_string(gathered.size()) + " from " + urls().publicBuilds);
    }
    else
    {
        Log::write("Nothing in our own copy (" + error + "), asking GitHub");
        if (!fetchReleasesApi(gathered, error))
            return false;
    }
    assets.insert(assets.end(), gathered.begin(), gathered.end());
    error.clear();
    return true;
}

bool CatalogSource::fetchChannel(const std::string& name, Channel channel, const Credentials& login,
                                 std::vector<Asset>& assets, std::string& error, bool* hasProducts)
{
    if (!login.isComplete())
    {
        error = "No login for this channel";
        return false;
    }
    if (refuseFolderless(name, error))
        return false;
    const std::string folder = channelUrl(name, channel);
    std::string page;
    if (!HttpClient::fetchString(folder, page, error, login))
    {
        // The name as the user gave it: that is what they have to check.
        error = loginFailureMessage(error, "There is nothing in " + folder + ".\n\nEither no build has been uploaded for \"" +
                                               name + "\" yet, or that is not the name the server knows it by.");
        return false;
    }
    assets = parseDirectoryIndex(page, folder, channel);
    if (hasProducts != nullptr)
        *hasProducts = page.find("products.json") != std::string::npos;
    return true;
}

bool CatalogSource::fetchChangelog(const std::string& name, Channel channel, const Credentials& login,
                                   std::string& text, std::string& error)
{
    if (refuseFolderless(name, error))
        return false;
    return HttpClient::fetchString(channelUrl(name, channel) + "changelog.txt", text, error, login);
}
}
