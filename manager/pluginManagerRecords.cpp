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
    installed.set(asset, folder.empty() ? pathFor(asset.product, format) : folder, std::move(files), modified);
    const bool saved = installed.save(error);

    // A standalone program finds no ROMs of its own; plug-ins look for them in the data product's folder.
    if (format == PluginFormat::Standalone)
        return saved;
    const juce::File roms = toFile(PlatformUtils::romFolder(catalog.dataProductOf(asset.product)));
    if (!createFolder(roms))
        Log::write("Could not create " + pathOf(roms));
    return saved;
}
}
