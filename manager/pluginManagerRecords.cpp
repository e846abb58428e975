#include "manager/pluginManager.h"

#include "manager/http/httpClient.h"
#include "manager/platform/filePaths.h"
#include "manager/platform/fileSteps.h"
#include "manager/platform/log.h"

#include <juce_core/juce_core.h>

#include <utility>

namespace pluginManager
{
// The server's time of a channel build lets a later upload of the same version count as newer.
bool PluginManager::recordInstall(const Asset& asset, std::vector<std::string> files, std::string& error,
                                  const std::string& folder)
{
    int64_t modified = 0;
    if (asset.channel != Channel::Public)
    {
        std::string ignored;
        if (!HttpClient::fetchLastModified(asset.url, modified, ignored, credentialsFor(asset)))
            modified = 0;
    }
    const PluginFormat format = PlatformUtils::formatFromString(asset.format);
    const std::string target = folder.empty() ? pathFor(asset.product, format) : folder;
    installed.set(asset, target, installed.withEarlierItems(asset.product, format, target, std::move(files)),
                  modified);
    const bool saved = installed.save(error);

    // A standalone program finds no ROMs of its own; plug-ins look for them in the data product's folder.
    if (format == PluginFormat::Standalone)
        return saved;
    const juce::File roms = toFile(PlatformUtils::romFolder(catalog.dataProductOf(asset.product)));
    if (!createFolder(roms))
        Log::write("Could not create " + pathOf(roms));
    return saved;
}

// The record is written before the first item moves, so that a run killed at any moment after it
// leaves no item of the install that the record does not name. Until the install is done, an
// earlier record in folder keeps telling the version that was there.
std::vector<InstalledPlugins::Entry> PluginManager::recordAhead(const Asset& asset,
                                                                const std::vector<std::string>& items,
                                                                const std::string& folder)
{
    std::vector<InstalledPlugins::Entry> earlier = installed.entries;
    const PluginFormat format = PlatformUtils::formatFromString(asset.format);
    std::vector<std::string> named = installed.withEarlierItems(asset.product, format, folder, items);
    const InstalledPlugins::Entry* entry = installed.findEntry(asset.product, format, folder);
    if (entry != nullptr)
        installed.entries[static_cast<size_t>(entry - installed.entries.data())].files = std::move(named);
    else
    {
        installed.set(asset, folder, std::move(named), 0);
        entry = installed.findEntry(asset.product, format, folder);
    }
    // Not saved, the record is no worse than without this step, and the install's own recording
    // reports the failure.
    std::string ignored;
    installed.save(ignored, entry);
    return earlier;
}

bool PluginManager::restoreRecord(std::vector<InstalledPlugins::Entry> earlier, std::string& error)
{
    installed.entries = std::move(earlier);
    return installed.save(error);
}
}
