#include "manager/pluginManager.h"

#include "manager/http/httpClient.h"
#include "manager/install/selfUpdate.h"
#include "manager/platform/filePaths.h"

#include <juce_core/juce_core.h>

namespace pluginManager
{
namespace
{
const char* const ownProduct = "PluginManager";
// A listed date carries minutes only, and a file's time is taken when it was unpacked or copied;
// only a gap wider than this says the file is an older build.
const double allowanceHours = 4.0;
const size_t stampLength = 16;


// The stamp is local time, "YYYY-MM-DD HH:MM", read at fixed positions.
bool isClearlyOlderThan(const juce::File& file, const std::string& stamp)
{
    if (stamp.size() < stampLength || !file.exists())
        return false;
    const auto field = [&stamp](size_t position, size_t length) {
        return juce::String(stamp.substr(position, length)).getIntValue();
    };
    const juce::Time listed(field(0, 4), field(5, 2) - 1, field(8, 2), field(11, 2), field(14, 2), 0, 0, true);
    return file.getLastModificationTime() < listed - juce::RelativeTime::hours(allowanceHours);
}

// The record of the install that the build would replace: where it lies now, else where it would go.
const InstalledPlugins::Entry* entryFor(const PluginManager& manager, const Asset& asset)
{
    const PluginFormat format = PlatformUtils::formatFromString(asset.format);
    std::string folder = manager.locateInstalled(asset.product, format);
    if (folder.empty())
        folder = manager.pathFor(asset.product, format);
    return manager.installed.findEntry(asset.product, format, folder);
}
}

// Public builds carry no reliable date, so only a channel build can be a newer build of the same
// version.
bool PluginManager::isNewerBuild(const Asset& asset) const
{
    if (asset.channel == Channel::Public || asset.date.empty())
        return false;
    if (asset.product == ownProduct)
    {
        if (!installPaths.selfBuildListed.empty())
            return asset.date > installPaths.selfBuildListed;
        return isClearlyOlderThan(toFile(SelfUpdate::appFile()), asset.date);
    }
    const InstalledPlugins::Entry* entry = entryFor(*this, asset);
    return entry != nullptr && !entry->listed.empty() && asset.date > entry->listed;
}

bool PluginManager::confirmNewerBuild(const Asset& asset) const { return confirmNewerBuild(asset, catalog); }

// A failed request confirms rather than hides: the listing already said the build is newer.
bool PluginManager::confirmNewerBuild(const Asset& asset, const Catalog& owners) const
{
    std::int64_t stored = installPaths.selfBuildModified;
    if (asset.product != ownProduct)
    {
        const InstalledPlugins::Entry* entry = entryFor(*this, asset);
        stored = entry != nullptr ? entry->modified : 0;
    }
    if (stored == 0)
        return true;
    std::int64_t fetched = 0;
    std::string error;
    if (!HttpClient::fetchLastModified(asset.url, fetched, error, credentialsFor(asset, owners)))
        return true;
    return fetched > stored;
}

bool PluginManager::hasNewerBuild(const std::string& product, const std::string& formatText,
                                  const std::string& version) const
{
    const Asset* asset =
        catalog.find(product, formatText, version, PlatformUtils::getCurrentOS(), PlatformUtils::getCurrentArch());
    return asset != nullptr && isNewerBuild(*asset);
}

// Without an installed version text only the installed file's own time can tell.
bool PluginManager::isOutdated(const std::string& product, const std::string& formatText,
                               const std::string& installedVersion, const std::string& offeredVersion) const
{
    if (offeredVersion.empty())
        return false;
    if (installedVersion.empty())
    {
        const Asset* asset = catalog.find(product, formatText, offeredVersion, PlatformUtils::getCurrentOS(),
                                          PlatformUtils::getCurrentArch());
        const PluginFormat format = PlatformUtils::formatFromString(formatText);
        const std::string folder = asset != nullptr ? locateInstalled(product, format) : std::string();
        return !folder.empty()
               && isClearlyOlderThan(toFile(PlatformUtils::installedFilePath(product, format, folder)), asset->date);
    }
    const int order = compareVersions(installedVersion, offeredVersion);
    return order < 0 || (order == 0 && hasNewerBuild(product, formatText, offeredVersion));
}

InstallAction PluginManager::installAction(const std::string& product, const std::string& formatText, bool available,
                                           const std::string& installedVersion,
                                           const std::string& offeredVersion) const
{
    const InstallAction action = decideInstallAction(available, installedVersion, offeredVersion);
    if (action == InstallAction::Install && isOutdated(product, formatText, installedVersion, offeredVersion))
        return InstallAction::Update;
    return action;
}

// An effect variant ships with its main product, so it is measured against the main product's
// newest version.
bool PluginManager::hasUpdate(const std::string& product) const
{
    const std::string os = PlatformUtils::getCurrentOS();
    const std::string arch = PlatformUtils::getCurrentArch();
    const std::string names[] = {product, catalog.fxProductOf(product)};
    for (const std::string& formatText : catalog.getFormats(product, os, arch))
    {
        const std::vector<std::string> versions = catalog.getVersions(product, formatText, os, arch);
        if (versions.empty())
            continue;
        for (const std::string& name : names)
        {
            if (name.empty() || locateInstalled(name, PlatformUtils::formatFromString(formatText)).empty())
                continue;
            if (isOutdated(name, formatText, getInstalledVersion(name, formatText), versions.front()))
                return true;
        }
    }
    return false;
}

std::optional<Asset> PluginManager::evaluateSelfUpdate(const Catalog& newCatalog) const
{
    if (const Asset* newer = SelfUpdate::find(newCatalog))
        return *newer;
    const Asset* same = SelfUpdate::findSameVersion(newCatalog);
    // The new catalog names the folder whose login the request needs: the manager's own may be
    // empty still, or be a copy that never had one.
    if (same != nullptr && isNewerBuild(*same) && confirmNewerBuild(*same, newCatalog))
        return *same;
    return std::nullopt;
}
}
