#include "manager/pluginManager.h"

#include "manager/platform/firstError.h"
#include "manager/sources/catalogSource.h"
#include "manager/sources/config.h"

namespace pluginManager
{
namespace
{
const char* const internalFolderMark = "/internal/";

// The address must name something below the host, not the host itself.
bool liesBelow(const std::string& url, const std::string& base)
{
    return !base.empty() && url.size() > base.size() && url.compare(0, base.size(), base) == 0;
}

bool isOnBuildsServer(const std::string& url)
{
    return liesBelow(url, urls().buildsServer) || liesBelow(url, urls().buildsMirror);
}

// A login the server accepts for an empty folder would leave the user with nothing to install and
// no idea why, so it is refused with what is going on.
std::string emptyFolderMessage(const std::string& key, Channel channel)
{
    return "There is no build in " + CatalogSource::channelUrl(key, channel) +
           " yet.\n\nThe folder is there and the login was accepted - nothing has been uploaded into it.";
}
}

bool PluginManager::verifyLogin(Channel channel, const std::string& key, const Credentials& login, std::string& error)
{
    if (channel == Channel::Internal)
    {
        std::vector<Product> products;
        return CatalogSource::fetchInternalProducts(login, products, error);
    }

    std::vector<Asset> builds;
    if (!CatalogSource::fetchChannel(key, channel, login, builds, error))
        return false;
    if (builds.empty())
    {
        error = emptyFolderMessage(key, channel);
        return false;
    }
    return true;
}

bool PluginManager::login(Channel channel, const std::string& key, const Credentials& login, std::string& error)
{
    if (!verifyLogin(channel, key, login, error) || !changeStoredLogin(channel, key, &login, error))
        return false;
    if (channel == Channel::Internal && !installPaths.teamLogin)
    {
        installPaths.teamLogin = true;
        return installPaths.save(error);
    }
    return true;
}

// The team login is switched off even when the logins could not be saved: the user asked for it.
bool PluginManager::logout(Channel channel, const std::string& key, std::string& error)
{
    FirstError unsaved;
    std::string loginsError;
    if (!changeStoredLogin(channel, key, nullptr, loginsError))
        unsaved.keep(loginsError);
    if (channel == Channel::Internal)
        teamLoginForRun = false;
    if (channel == Channel::Internal && installPaths.teamLogin)
    {
        installPaths.teamLogin = false;
        std::string settingsError;
        if (!installPaths.save(settingsError))
            unsaved.keep(settingsError);
    }
    if (unsaved.empty())
        return true;
    error = unsaved.text();
    return false;
}

// What a login hides is noted the first time only: a second one given for the same place hides the
// same stored login, not the first one.
void PluginManager::setCredentials(Channel channel, const std::string& key, const Credentials& login)
{
    const std::string storeKey = CredentialStore::keyFor(channel, key);
    if (storeKey.empty())
        return;
    if (runOnlyLogins.count(storeKey) == 0)
    {
        const auto stored = credentials.entries.find(storeKey);
        runOnlyLogins[storeKey] =
            stored == credentials.entries.end() ? std::nullopt : std::optional<Credentials>(stored->second);
    }
    std::string unsaved;
    credentials.set(channel, key, login, false, unsaved);
    if (channel == Channel::Internal)
        teamLoginForRun = true;
}

bool PluginManager::teamLoginInUse() const { return installPaths.teamLogin || teamLoginForRun; }

bool PluginManager::changeStoredLogin(Channel channel, const std::string& key, const Credentials* login,
                                      std::string& error)
{
    const std::string storeKey = CredentialStore::keyFor(channel, key);
    if (storeKey.empty())
        return true;
    runOnlyLogins.erase(storeKey);
    std::string unsaved;
    if (login != nullptr)
        credentials.set(channel, key, *login, false, unsaved);
    else
        credentials.clear(channel, key, false, unsaved);
    return storedLogins().save(error);
}

CredentialStore PluginManager::storedLogins() const
{
    CredentialStore stored = credentials;
    for (const auto& [key, hidden] : runOnlyLogins)
    {
        if (hidden)
            stored.entries[key] = *hidden;
        else
            stored.entries.erase(key);
    }
    return stored;
}

// The stored internal login stays where it is; the switch only decides whether a refresh may use it.
CredentialStore PluginManager::credentialsForFetch() const
{
    CredentialStore logins = credentials;
    std::string unsaved;
    if (!teamLoginInUse())
        logins.clear(Channel::Internal, {}, false, unsaved);
    return logins;
}

Credentials PluginManager::credentialsFor(const Asset& asset) const { return credentialsFor(asset, catalog); }

Credentials PluginManager::credentialsFor(const Asset& asset, const Catalog& owners) const
{
    if (asset.channel == Channel::Public)
        return {};
    const Product* owner = owners.findOwningProduct(asset.product);
    return credentials.get(asset.channel, owner != nullptr ? owner->slug : std::string());
}

Credentials PluginManager::loginForUrl(const std::string& url, const Credentials& internal, const Credentials& donators)
{
    if (!isOnBuildsServer(url))
        return {};
    return url.find(internalFolderMark) != std::string::npos ? internal : donators;
}

Credentials PluginManager::credentialsForThumbnail(const Product& product) const
{
    return loginForUrl(product.thumbnail, credentials.get(Channel::Internal, {}),
                       credentials.get(Channel::Donators, product.slug));
}

void PluginManager::loginAsync(Channel channel, const std::string& key, const Credentials& login, Callback callback)
{
    auto done = std::make_shared<Callback>(std::move(callback));
    runAsync([this, channel, key, login, done] {
        std::string error;
        const bool ok = verifyLogin(channel, key, login, error);
        return std::function<void()>([this, channel, key, login, done, ok, error] {
            std::string message = error;
            const bool stored = ok && changeStoredLogin(channel, key, &login, message);
            if (*done)
                (*done)(stored, message);
        });
    });
}
}
