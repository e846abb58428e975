#include "manager/pluginManager.h"

#include "manager/catalog/serverFolder.h"
#include "manager/platform/firstError.h"
#include "manager/sources/catalogSource.h"

#include <set>

namespace pluginManager
{
namespace
{
const char* const teamLoginPrefix = "Team login: ";
const char* const strayFolderDescription = "Downloaded with the donator login for ";
const Channel folderChannels[] = {Channel::Internal, Channel::Donators};

void fetchProductFolder(Catalog& catalog, const std::string& folder, Channel channel, const Credentials& login)
{
    std::vector<Asset> builds;
    std::string ignored;
    bool hasProducts = false;
    if (!CatalogSource::fetchChannel(folder, channel, login, builds, ignored, &hasProducts))
        return;
    catalog.addAssets(builds);
    Product listed;
    if (hasProducts && CatalogSource::fetchChannelProduct(folder, channel, login, listed))
        catalog.setChannelFiles(folder, channel, listed.files);
}

// The shortest build product name is the product itself rather than one of its variants.
std::string shortestProductName(const std::vector<Asset>& builds)
{
    std::string shortest = builds.front().product;
    for (const Asset& build : builds)
    {
        if (build.product.size() < shortest.size())
            shortest = build.product;
    }
    return shortest;
}

// A donator login for a folder no product list names still gets its builds listed, under a
// product made up from what the folder holds.
void fetchStrayFolder(Catalog& catalog, const std::string& folder, const Credentials& login)
{
    std::vector<Asset> builds;
    std::string ignored;
    bool hasProducts = false;
    if (!CatalogSource::fetchChannel(folder, Channel::Donators, login, builds, ignored, &hasProducts) || builds.empty())
        return;
    catalog.addAssets(builds);

    Product product;
    const std::string shortName = shortestProductName(builds);
    product.name = shortName;
    product.description = strayFolderDescription + folder;

    Product listed;
    if (hasProducts && CatalogSource::fetchChannelProduct(folder, Channel::Donators, login, listed))
    {
        catalog.setChannelFiles(folder, Channel::Donators, listed.files);
        if (!listed.name.empty())
            product.name = listed.name;
        if (!listed.description.empty())
            product.description = listed.description;
        product.thumbnail = listed.thumbnail;
        product.category = listed.category;
        product.manufacturer = listed.manufacturer;
        product.originalName = listed.originalName;
        product.year = listed.year;
    }
    product.slug = folder;
    product.id = shortName;
    catalog.addProducts({product});
}
}

bool PluginManager::fetchAll(Catalog& catalog, const CredentialStore& logins, std::string& error)
{
    // Only the sources that every refresh reads count; a channel folder that fails is left out quietly.
    FirstError failures;
    std::string failure;

    std::vector<Product> products;
    if (CatalogSource::fetchPublicProducts(products, failure))
        catalog.setProducts(std::move(products));
    else
        failures.keep(failure);

    const Credentials internal = logins.get(Channel::Internal, {});
    if (internal.isComplete())
    {
        std::vector<Product> internalProducts;
        if (CatalogSource::fetchInternalProducts(internal, internalProducts, failure))
            catalog.addProducts(internalProducts);
        else
            failures.keep(teamLoginPrefix + failure);
    }

    std::vector<Asset> publicBuilds;
    if (CatalogSource::fetchPublic(publicBuilds, failure))
        catalog.addAssets(publicBuilds);
    else
        failures.keep(failure);

    // A folder is known by its folder name, the one the logins are kept under, whatever spelling
    // of the slug led to it; each is read once. The merges below may move the catalog's products,
    // so the folders are taken first.
    std::vector<std::string> folders;
    for (const Product& product : catalog.products())
    {
        if (!product.slug.empty())
            folders.push_back(serverFolderName(product.slug));
    }
    std::set<std::string> knownFolders;
    for (const std::string& folder : folders)
    {
        if (!knownFolders.insert(folder).second)
            continue;
        for (const Channel channel : folderChannels)
        {
            const Credentials login = logins.get(channel, folder);
            if (login.isComplete())
                fetchProductFolder(catalog, folder, channel, login);
        }
    }

    for (const std::string& stored : logins.getSlugs(Channel::Donators))
    {
        const std::string folder = serverFolderName(stored);
        if (knownFolders.insert(folder).second)
            fetchStrayFolder(catalog, folder, logins.get(Channel::Donators, folder));
    }
    error = failures.text();
    return failures.empty();
}

bool PluginManager::refresh(std::string& error)
{
    const CredentialStore logins = credentialsForFetch();
    Catalog fresh;
    const bool ok = fetchAll(fresh, logins, error);
    selfUpdate = evaluateSelfUpdate(fresh);
    catalog = std::move(fresh);
    return ok;
}

void PluginManager::refreshAsync(Callback callback)
{
    const uint32_t generation = ++refreshGeneration;
    const CredentialStore logins = credentialsForFetch();
    auto done = std::make_shared<Callback>(std::move(callback));
    // The self-update decision reads the logins, install settings and install record. The worker
    // reads them from a copy taken now: the manager may be changed, or destroyed, while it runs.
    auto state = std::make_shared<PluginManager>(false);
    state->credentials = credentials;
    state->installPaths = installPaths;
    state->installed = installed;
    runAsync([this, generation, logins, done, state] {
        auto fresh = std::make_shared<Catalog>();
        std::string error;
        const bool ok = fetchAll(*fresh, logins, error);
        const std::optional<Asset> found = state->evaluateSelfUpdate(*fresh);
        return std::function<void()>([this, generation, done, fresh, found, ok, error] {
            // A newer refresh is under way; its catalog is the one to show.
            if (generation != refreshGeneration)
                return;
            catalog = std::move(*fresh);
            selfUpdate = found;
            if (*done)
                (*done)(ok, error);
        });
    });
}
}
