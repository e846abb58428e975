#pragma once

#include "manager/catalog/asset.h"
#include "manager/catalog/catalog.h"
#include "manager/logins/credentials.h"
#include "manager/platform/platformUtils.h"
#include "manager/state/installPaths.h"
#include "manager/state/installedPlugins.h"

#include "changelog/changelog.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace pluginManager
{
struct ElevatedBatch;

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

    // Logins: checking, storing and forgetting them, and which one each kind of request uses. Those
    // that write the settings files fail, saying why, when a file could not be written.
    static bool verifyLogin(Channel channel, const std::string& key, const Credentials& login, std::string& error);
    bool login(Channel channel, const std::string& key, const Credentials& login, std::string& error);
    bool logout(Channel channel, const std::string& key, std::string& error);
    // A login for this run only: used as a stored one would be, never saved. An internal one also
    // switches the team login on for the run, and not in the settings.
    void setCredentials(Channel channel, const std::string& key, const Credentials& login);
    // Whether the internal login may be used in this run: the stored switch, or an internal login
    // given for this run.
    bool teamLoginInUse() const;
    CredentialStore credentialsForFetch() const;
    Credentials credentialsFor(const Asset& asset) const;
    // With the owning product looked up in owners, such as a catalog a refresh has just fetched.
    Credentials credentialsFor(const Asset& asset, const Catalog& owners) const;
    static Credentials loginForUrl(const std::string& url, const Credentials& internal, const Credentials& donators);
    Credentials credentialsForThumbnail(const Product& product) const;
    void loginAsync(Channel channel, const std::string& key, const Credentials& login, Callback callback);

    // Catalog refresh: every source in a fixed order into a new catalog that replaces the old one.
    // A login the server refused (401 or 403) on the way: the internal one (folder empty), or the
    // donator login of a folder. refused, when given, learns each once, in the order met.
    struct RefusedLogin
    {
        Channel channel = Channel::Internal;
        std::string folder;
    };
    static bool fetchAll(Catalog& catalog, const CredentialStore& logins, std::string& error,
                         std::vector<RefusedLogin>* refused = nullptr);
    bool refresh(std::string& error, std::vector<RefusedLogin>* refused = nullptr);
    void refreshAsync(Callback callback);

    // Install folders: where a product's plug-in of a format lies now, and where the next install goes.
    std::string owningProduct(const std::string& name) const;
    std::string configuredPathFor(const std::string& product, PluginFormat format) const;
    std::string locateInstalled(const std::string& product, PluginFormat format) const;
    std::string pathFor(const std::string& product, PluginFormat format) const;
    std::string installPathFor(const Asset& asset) const;
    std::string getInstallPath(const std::string& product, const std::string& formatText) const;
    bool setInstallPath(const std::string& product, const std::string& formatText, const std::string& path,
                        std::string& error);
    bool isInstalled(const std::string& product, const std::string& formatText) const;
    // Whether the record names an install of product and format, on disk or not.
    bool isRecorded(const std::string& product, const std::string& formatText) const;
    std::string getInstalledVersion(const std::string& product, const std::string& formatText) const;

    // Recording installs. False when the record could not be saved; the install itself stands.
    // folder: where the install went; empty for the folder pathFor gives.
    bool recordInstall(const Asset& asset, std::vector<std::string> files, std::string& error,
                       const std::string& folder = {});
    // Before an install puts items into folder: the record of asset's product and format there
    // names them too, saved even while none of them is in place. Answers the records as they were,
    // for restoreRecord to put back when the install fails.
    std::vector<InstalledPlugins::Entry> recordAhead(const Asset& asset, const std::vector<std::string>& items,
                                                     const std::string& folder);
    bool restoreRecord(std::vector<InstalledPlugins::Entry> earlier, std::string& error);

    // Additional files: fetching a product's additional files into its data folder.
    struct FilesRequest
    {
        std::string product;
        std::vector<FileSection> files;
        Credentials internal;
        Credentials donators;
    };
    FilesRequest filesRequestFor(const Asset& asset) const;
    bool installAdditionalFiles(const Asset& asset, std::string& message) const;
    static bool installAdditionalFiles(const FilesRequest& request, std::string& message);
    void installAdditionalFilesAsync(const Asset& asset, Callback callback) const;

    // Removal: every form runs through one batch that forgets only what is gone from disk.
    struct Removal
    {
        std::string product;
        PluginFormat format = PluginFormat::Unknown;
        std::string folder;
    };
    Removal removalFor(const std::string& product, PluginFormat format) const;
    // Clears what runs killed half-way left in the folder an uninstall of product and format
    // looks in, unless a live run holds that folder.
    void clearInterrupted(const std::string& product, PluginFormat format) const;
    std::vector<bool> removeAll(const std::vector<Removal>& removals, std::string& error);
    std::vector<bool> uninstallMany(const std::vector<std::pair<std::string, std::string>>& pairs, std::string& error);
    bool uninstall(const std::string& product, const std::string& formatText, std::string& message);
    int uninstallAll(const std::string& product, const std::vector<std::string>& formatTexts, std::string& message);
    bool removeStray(const InstalledPlugins::Entry& entry, std::string& message);
    std::vector<InstalledPlugins::Entry> getStrayInstalls() const;
    bool forget(const std::string& product, PluginFormat format, const std::string& folder, std::string& error);

    // Update decisions: whether an installed product, or this program itself, has something newer.
    InstallAction installAction(const std::string& product, const std::string& formatText, bool available,
                                const std::string& installedVersion, const std::string& offeredVersion) const;
    bool isOutdated(const std::string& product, const std::string& formatText, const std::string& installedVersion,
                    const std::string& offeredVersion) const;
    bool hasNewerBuild(const std::string& product, const std::string& formatText, const std::string& version) const;
    bool isNewerBuild(const Asset& asset) const;
    bool confirmNewerBuild(const Asset& asset) const;
    bool confirmNewerBuild(const Asset& asset, const Catalog& owners) const;
    bool hasUpdate(const std::string& product) const;
    std::optional<Asset> evaluateSelfUpdate(const Catalog& newCatalog) const;

    // Deferred installs: one elevated run finishes a batch; a self-update records the program's build.
    bool finishPending(ElevatedBatch& batch, std::string& error);
    bool recordSelfUpdate(const Asset& asset, std::string& error);

    // Changelog requests: a channel folder's private copy when a complete login reads it, else the
    // public file. The request gathers everything of the manager the fetch needs, so the fetch
    // itself can run on any thread.
    struct ChangelogRequest
    {
        // The owning product's display name, else the text asked for.
        std::string name;
        // Empty when no catalog product owns the text; then no private copy is tried.
        std::string slug;
        // Empty while teamLogin is off.
        Credentials internal;
        Credentials donators;
        bool published = false;
        // Set only while the internal login is incomplete: the public copy is cut there.
        std::string newestPublishedVersion;
    };
    using ChangelogCallback =
        std::function<void(bool ok, const changelogLib::Changelog& changelog, const std::string& error)>;

    ChangelogRequest changelogRequestFor(const std::string& text) const;
    static bool fetchChangelog(const ChangelogRequest& request, changelogLib::Changelog& changelog, std::string& error);
    bool fetchChangelog(const std::string& text, changelogLib::Changelog& changelog, std::string& error) const;
    void fetchChangelogAsync(const std::string& text, ChangelogCallback callback) const;

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
    void runAsync(std::function<std::function<void()>()> work) const;

    // Whether the record names removal's install in its folder while nothing of its own is there.
    bool onlyRecorded(const Removal& removal) const;
    // The items removals of one batch share, once each of those removals is gone from disk.
    void removeSharedItems(const std::vector<Removal>& removals, const std::vector<bool>& gone) const;

    // Stores (login given) or forgets (null) the login of a place as a command asked: a login given
    // for this run there no longer hides the stored one, and the file gets the stored logins with
    // this change alone.
    bool changeStoredLogin(Channel channel, const std::string& key, const Credentials* login, std::string& error);
    // The logins as stored: credentials with each login of this run put back to what it hid.
    CredentialStore storedLogins() const;

    uint32_t refreshGeneration = 0;
    std::shared_ptr<bool> alive;
    // The logins given for this run, by store key, each with the stored login it hides (none when
    // nothing was stored there).
    std::map<std::string, std::optional<Credentials>> runOnlyLogins;
    bool teamLoginForRun = false;
};
}
