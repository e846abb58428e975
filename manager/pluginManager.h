#pragma once

#include "manager/catalog/asset.h"
#include "manager/catalog/catalog.h"
#include "manager/logins/credentials.h"
#include "manager/platform/platformUtils.h"
#include "manager/state/installPaths.h"
#include "manager/state/installedPlugins.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace pluginManager
{
// The one object every front end works through: it owns the catalog, the logins, the install
// locations and the install record. Its asynchronous operations capture its address, so it is
// never copied or moved; their completions run on the message thread and are dropped once the
// manager is gone.
class PluginManager
{
public:
    using Callback = std::function<void(bool ok, const std::string& error)>;

    // With load, the stored logins, install settings and install record are read at once.
    explicit PluginManager(bool load);
    ~PluginManager();
    PluginManager(const PluginManager&) = delete;
    PluginManager& operator=(const PluginManager&) = delete;

    // Logins: checking, storing and forgetting them, and which one each kind of request uses.
    static bool verifyLogin(Channel channel, const std::string& key, const Credentials& login, std::string& error);
    bool login(Channel channel, const std::string& key, const Credentials& login, std::string& error);
    void logout(Channel channel, const std::string& key);
    void setCredentials(Channel channel, const std::string& key, const Credentials& login);
    CredentialStore credentialsForFetch() const;
    Credentials credentialsFor(const Asset& asset) const;
    static Credentials loginForUrl(const std::string& url, const Credentials& internal, const Credentials& donators);
    Credentials credentialsForThumbnail(const Product& product) const;
    void loginAsync(Channel channel, const std::string& key, const Credentials& login, Callback callback);

    // Catalog refresh: every source in a fixed order into a new catalog that replaces the old one.
    static bool fetchAll(Catalog& catalog, const CredentialStore& logins, std::string& error);
    bool refresh(std::string& error);
    void refreshAsync(Callback callback);

    // Install folders: where a product's plug-in of a format lies now, and where the next install goes.
    std::string owningProduct(const std::string& name) const;
    std::string configuredPathFor(const std::string& product, PluginFormat format) const;
    std::string locateInstalled(const std::string& product, PluginFormat format) const;
    std::string pathFor(const std::string& product, PluginFormat format) const;
    std::string installPathFor(const Asset& asset) const;
    std::string getInstallPath(const std::string& product, const std::string& formatText) const;
    void setInstallPath(const std::string& product, const std::string& formatText, const std::string& path);
    bool isInstalled(const std::string& product, const std::string& formatText) const;
    std::string getInstalledVersion(const std::string& product, const std::string& formatText) const;

    Catalog catalog;
    CredentialStore credentials;
    // Also holds teamLogin, the switch that lets the internal login be used.
    InstallPaths installPaths;
    // The build of this program the last refresh found worth offering.
    std::optional<Asset> selfUpdate;
    InstalledPlugins installed;

private:
    // Runs work on a thread of its own; what work returns then runs on the message thread, unless
    // the manager has been destroyed by then.
    void runAsync(std::function<std::function<void()>()> work);
    // The build of this program a new catalog offers; empty until the self-update decision is in.
    std::optional<Asset> selfUpdateIn(const Catalog& newCatalog) const;

    uint32_t refreshGeneration = 0;
    std::shared_ptr<bool> alive;
};
}
