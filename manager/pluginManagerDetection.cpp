#include "manager/pluginManager.h"

#include "manager/install/elevatedTask.h"
#include "manager/platform/buildSeams.h"
#include "manager/platform/filePaths.h"

#include <juce_core/juce_core.h>

#include <map>
#include <mutex>
#include <utility>

namespace pluginManager
{
namespace
{
// One listing asks for every product and format in quick succession; within this time they share
// one walk of each root.
constexpr long long cacheMilliseconds = 1000;
// A walk stays small even below a root that holds a whole disk.
constexpr int deepestFolder = 8;
constexpr size_t mostFolders = 4096;
// A plug-in bundle is an install in itself, never a folder that holds installs.
const char* const bundleExtensions[] = {".vst3", ".vst", ".clap", ".lv2", ".component", ".app"};

bool isBundle(const juce::File& folder)
{
    const juce::String extension = folder.getFileExtension().toLowerCase();
    for (const char* bundle : bundleExtensions)
    {
        if (extension == bundle)
            return true;
    }
    return false;
}

// Depth first, a folder before its sub-folders, in the order the disk lists them.
void collectFolders(const juce::File& folder, std::vector<std::string>& list, int depth)
{
    list.push_back(pathOf(folder));
    if (depth == deepestFolder || list.size() >= mostFolders)
        return;
    for (const juce::File& sub : folder.findChildFiles(juce::File::findDirectories, false, "*"))
    {
        if (!isBundle(sub))
            collectFolders(sub, list, depth + 1);
    }
}

// The walk runs under the lock, so a second caller waits for it and then reuses it.
std::vector<std::string> foldersUnder(const std::string& root)
{
    static std::map<std::string, std::pair<long long, std::vector<std::string>>> cache;
    static std::mutex mutex;

    const long long now = steadyMilliseconds();
    const std::lock_guard<std::mutex> lock(mutex);
    auto& [stamp, list] = cache[root];
    if (list.empty() || now - stamp > cacheMilliseconds)
    {
        stamp = now;
        list.clear();
        const juce::File folder = toFile(root);
        if (folder.isDirectory())
            collectFolders(folder, list, 0);
        else
            list.push_back(root);
    }
    return list;
}
}

std::string PluginManager::owningProduct(const std::string& name) const
{
    const Product* owner = catalog.findOwningProduct(name);
    return owner != nullptr ? owner->id : name;
}

// Standalone programs of the format's shared folder each get a folder of their own there.
std::string PluginManager::configuredPathFor(const std::string& product, PluginFormat format) const
{
    const std::string key = owningProduct(product);
    const std::string folder = installPaths.get(key, format);
    if (format == PluginFormat::Standalone && !folder.empty() && !installPaths.isCustom(key, format))
        return pathOf(toFile(folder).getChildFile(juce::String::fromUTF8(product.c_str())));
    return folder;
}

std::string PluginManager::locateInstalled(const std::string& product, PluginFormat format) const
{
    const std::string configured = configuredPathFor(product, format);
    std::vector<std::string> roots;
    if (!configured.empty())
        roots.push_back(configured);
    for (const std::string& path : PlatformUtils::getSearchPaths(format))
    {
        if (path != configured)
            roots.push_back(path);
    }

    for (const std::string& root : roots)
    {
        for (const std::string& folder : foldersUnder(root))
        {
            if (!installed.installedFile(product, format, folder).empty())
                return folder;
        }
    }
    return {};
}

// An install that is found stays where it is, unless the user has since chosen a folder it lies
// outside of, or it lies where this user cannot write.
std::string PluginManager::pathFor(const std::string& product, PluginFormat format) const
{
    const std::string owner = owningProduct(product);
    const std::string configured = configuredPathFor(product, format);

    std::string existing = locateInstalled(owner, format);
    if (existing.empty() && owner != product)
        existing = locateInstalled(product, format);
    if (existing.empty() || existing == configured)
        return configured;

    const bool customLocation = installPaths.isCustom(format) || installPaths.isCustom(owner, format);
    if (customLocation && !toFile(existing).isAChildOf(toFile(configured)))
        return configured;
    if (!ElevatedTask::isSupported() && !toFile(existing).hasWriteAccess())
        return configured;
    return existing;
}

std::string PluginManager::installPathFor(const Asset& asset) const
{
    return pathFor(asset.product, PlatformUtils::formatFromString(asset.format));
}

std::string PluginManager::getInstallPath(const std::string& product, const std::string& formatText) const
{
    return pathFor(product, PlatformUtils::formatFromString(formatText));
}

bool PluginManager::setInstallPath(const std::string& product, const std::string& formatText, const std::string& path,
                                   std::string& error)
{
    installPaths.set(owningProduct(product), PlatformUtils::formatFromString(formatText), path);
    return installPaths.save(error);
}

bool PluginManager::isInstalled(const std::string& product, const std::string& formatText) const
{
    return !locateInstalled(product, PlatformUtils::formatFromString(formatText)).empty();
}

bool PluginManager::isRecorded(const std::string& product, const std::string& formatText) const
{
    return installed.recordOf(product, PlatformUtils::formatFromString(formatText)) != nullptr;
}

std::string PluginManager::getInstalledVersion(const std::string& product, const std::string& formatText) const
{
    const PluginFormat format = PlatformUtils::formatFromString(formatText);
    const std::string folder = locateInstalled(product, format);
    if (folder.empty())
        return {};
    return installed.getVersion(product, format, folder);
}
}
