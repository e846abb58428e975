#include "manager/pluginManager.h"

#include "manager/catalog/serverFolder.h"
#include "manager/http/sideBySide.h"
#include "manager/platform/firstError.h"
#include "manager/sources/catalogSource.h"

#include <functional>
#include <iterator>
#include <set>

namespace pluginManager
{
namespace
{
const char* const teamLoginPrefix = "Team login: ";
// The sources' word for a login the server refused (401 or 403).
const char* const loginRejected = "Login rejected";
const char* const strayFolderDescription = "Downloaded with the donator login for ";
const Channel folderChannels[] = {Channel::Internal, Channel::Donators};

// The three sources that every refresh reads, and that decide whether it failed.
struct CountedSources
{
    // Side by side. The public builds come first: the calling thread takes the first item, so
    // their release files, which fan out below it, find every helper place free.
    void fetch(const Credentials& internal)
    {
        const std::function<void()> sources[] = {
            [&] { buildsRead = CatalogSource::fetchPublic(publicBuilds, buildsFailure); },
            [&] { productsRead = CatalogSource::fetchPublicProducts(products, productsFailure); },
            [&] {
                if (internal.isComplete())
                    internalRead = CatalogSource::fetchInternalProducts(internal, internalProducts, internalFailure);
            },
        };
        SideBySide::run(std::size(sources), [&sources](size_t source) { sources[source](); });
    }

    // In the order in which the first failure counts, whatever order the answers came in.
    void addTo(Catalog& catalog, const Credentials& internal, FirstError& failures)
    {
        if (productsRead)
            catalog.setProducts(std::move(products));
        else
            failures.keep(productsFailure);
        if (internalRead)
            catalog.addProducts(internalProducts);
        else if (internal.isComplete())
            failures.keep(teamLoginPrefix + internalFailure);
        if (buildsRead)
            catalog.addAssets(publicBuilds);
        else
            failures.keep(buildsFailure);
    }

    std::vector<Product> products, internalProducts;
    std::vector<Asset> publicBuilds;
    std::string productsFailure, internalFailure, buildsFailure;
    bool productsRead = false, internalRead = false, buildsRead = false;
};

// A channel folder to read: one of a product the lists name, or a stray one that only a stored
// donator login leads to.
struct FolderRequest
{
    std::string folder;
    Channel channel = Channel::Donators;
    Credentials login;
    bool stray = false;
};

// What a channel folder gave: its builds when its listing could be read, and the product of its
// products.json when it has one that could be read.
struct FolderVisit
{
    bool read = false;
    bool refused = false;
    std::vector<Asset> builds;
    bool listed = false;
    Product product;
};

// A stray folder without builds is skipped whatever else it holds, so its product list is not
// asked for.
FolderVisit visitFolder(const FolderRequest& request)
{
    FolderVisit visit;
    std::string failure;
    bool hasProducts = false;
    visit.read = CatalogSource::fetchChannel(request.folder, request.channel, request.login, visit.builds, failure,
                                             &hasProducts);
    visit.refused = !visit.read && failure == loginRejected;
    if (visit.read && hasProducts && !(request.stray && visit.builds.empty()))
        visit.listed =
            CatalogSource::fetchChannelProduct(request.folder, request.channel, request.login, visit.product);
    return visit;
}

void addProductFolder(Catalog& catalog, const FolderRequest& request, const FolderVisit& visit)
{
    if (!visit.read)
        return;
    catalog.addAssets(visit.builds);
    if (visit.listed)
        catalog.setChannelFiles(request.folder, request.channel, visit.product.files);
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
void addStrayFolder(Catalog& catalog, const std::string& folder, const FolderVisit& visit)
{
    if (!visit.read || visit.builds.empty())
        return;
    catalog.addAssets(visit.builds);

    Product product;
    const std::string shortName = shortestProductName(visit.builds);
    product.name = shortName;
    product.description = strayFolderDescription + folder;

    if (visit.listed)
    {
        const Product& listed = visit.product;
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

// A folder is known by its folder name, the one the logins are kept under, whatever spelling of
// the slug led to it; each is read once. The folders of the products the lists name come first,
// in catalog order, each with its internal and then its donators channel; then the stray ones.
std::vector<FolderRequest> folderRequests(const Catalog& catalog, const CredentialStore& logins)
{
    std::vector<FolderRequest> requests;
    std::set<std::string> knownFolders;
    for (const Product& product : catalog.products())
    {
        const std::string folder = serverFolderName(product.slug);
        if (product.slug.empty() || !knownFolders.insert(folder).second)
            continue;
        for (const Channel channel : folderChannels)
        {
            const Credentials login = logins.get(channel, folder);
            if (login.isComplete())
                requests.push_back({folder, channel, login, false});
        }
    }
    for (const std::string& stored : logins.getSlugs(Channel::Donators))
    {
        const std::string folder = serverFolderName(stored);
        if (knownFolders.insert(folder).second)
            requests.push_back({folder, Channel::Donators, logins.get(Channel::Donators, folder), true});
    }
    return requests;
}

// The internal login has one place whatever folder refused it.
void noteRefused(std::vector<PluginManager::RefusedLogin>* refused, Channel channel, const std::string& folder)
{
    if (refused == nullptr)
        return;
    const std::string noted = channel == Channel::Internal ? std::string() : folder;
    for (const auto& login : *refused)
        if (login.channel == channel && login.folder == noted)
            return;
    refused->push_back({channel, noted});
}
}

// Requests that do not depend on each other's answers go side by side; what they gave is put
// together in the order the sources and folders come in, so that the catalog does not depend on
// which answer came first.
bool PluginManager::fetchAll(Catalog& catalog, const CredentialStore& logins, std::string& error,
                             std::vector<RefusedLogin>* refused)
{
    // Only the sources that every refresh reads count; a channel folder that fails is left out quietly.
    FirstError failures;
    const Credentials internal = logins.get(Channel::Internal, {});
    CountedSources sources;
    sources.fetch(internal);
    sources.addTo(catalog, internal, failures);
    if (!sources.internalRead && sources.internalFailure == loginRejected)
        noteRefused(refused, Channel::Internal, {});

    const std::vector<FolderRequest> requests = folderRequests(catalog, logins);
    const std::vector<FolderVisit> visits = SideBySide::each(requests, visitFolder);
    for (size_t i = 0; i < requests.size(); ++i)
    {
        if (visits[i].refused)
            noteRefused(refused, requests[i].channel, requests[i].folder);
        if (requests[i].stray)
            addStrayFolder(catalog, requests[i].folder, visits[i]);
        else
            addProductFolder(catalog, requests[i], visits[i]);
    }
    error = failures.text();
    return failures.empty();
}

bool PluginManager::refresh(std::string& error, std::vector<RefusedLogin>* refused)
{
    const CredentialStore logins = credentialsForFetch();
    Catalog fresh;
    const bool ok = fetchAll(fresh, logins, error, refused);
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
