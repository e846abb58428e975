#include "manager/pluginManager.h"

#include "manager/install/elevatedTask.h"
#include "manager/install/pluginInstaller.h"
#include "manager/install/transactionalCopy.h"
#include "manager/platform/filePaths.h"
#include "manager/platform/firstError.h"
#include "manager/platform/log.h"

#include <juce_core/juce_core.h>

namespace pluginManager
{
namespace
{
// Of a recorded path, which the program wrote: a leading "~" in it is no home folder.
std::string parentOf(const std::string& path) { return pathOf(literalFile(path).getParentDirectory()); }

std::string describe(const PluginManager::Removal& removal)
{
    return "Uninstall " + removal.product + " " + PlatformUtils::formatToString(removal.format) + " from " +
           removal.folder;
}

// What one removal of the batch left to be confirmed on disk.
struct Pending
{
    size_t fileCount = 0;
    std::string removedPath;
};
}

// The items that removals of one batch share, once every one of those removals is gone from disk.
void PluginManager::removeSharedItems(const std::vector<Removal>& removals, const std::vector<bool>& gone) const
{
    std::vector<std::pair<std::string, PluginFormat>> removedPairs;
    for (size_t i = 0; i < removals.size(); ++i)
        if (gone[i])
            removedPairs.emplace_back(removals[i].product, removals[i].format);
    for (size_t i = 0; i < removals.size(); ++i)
    {
        if (!gone[i])
            continue;
        const Removal& removal = removals[i];
        for (const std::string& path :
             installed.filesToRemove(removal.product, removal.format, removal.folder, removedPairs))
        {
            const juce::File item = literalFile(path);
            std::string ignored;
            if (item.exists() && !ZipExtractor::removeItem(item, ignored))
                Log::write(describe(removal) + ": could not remove " + path);
        }
    }
}

// Where nothing of it is found, a recorded install is looked for where the record says it lies:
// a removal killed half-way is finished there.
PluginManager::Removal PluginManager::removalFor(const std::string& product, PluginFormat format) const
{
    std::string folder = locateInstalled(product, format);
    const InstalledPlugins::Entry* recorded = installed.recordOf(product, format);
    if (folder.empty() && recorded != nullptr)
        folder = parentOf(recorded->path);
    return {product, format, folder.empty() ? pathFor(product, format) : folder};
}

void PluginManager::clearInterrupted(const std::string& product, PluginFormat format) const
{
    PluginInstaller::clearAfterKilledRuns(removalFor(product, format).folder, catalog.dataProductOf(product));
}

// A record whose install has nothing of its own left in its folder: a removal killed after it took
// the items, or items deleted by hand. Its removal is done once the record goes.
bool PluginManager::onlyRecorded(const Removal& removal) const
{
    return installed.findEntry(removal.product, removal.format, removal.folder) != nullptr
           && installed.installedFile(removal.product, removal.format, removal.folder).empty();
}

// The installer's word is not enough: a removal counts only once its plug-in is gone from disk,
// and only then is its record forgotten.
std::vector<bool> PluginManager::removeAll(const std::vector<Removal>& removals, std::string& error)
{
    std::vector<bool> removed(removals.size(), false);
    // A failure the caller holds already stays the first.
    FirstError failures;
    failures.keep(error);
    std::vector<Pending> pending(removals.size());
    std::vector<std::string> deferred;
    for (size_t i = 0; i < removals.size(); ++i)
    {
        const Removal& removal = removals[i];
        // Items shared with another removal of the batch wait until both are gone: one that fails
        // must keep them.
        const std::vector<std::string> files =
            installed.filesToRemove(removal.product, removal.format, removal.folder, {});
        pending[i].fileCount = files.size();
        PluginInstaller::clearAfterKilledRuns(removal.folder, catalog.dataProductOf(removal.product));
        if (onlyRecorded(removal))
        {
            removed[i] = true;
            continue;
        }
        std::string message;
        removed[i] = PluginInstaller::uninstall(removal.product, catalog.dataProductOf(removal.product), removal.format,
                                                removal.folder, files, message, &deferred, &pending[i].removedPath);
        if (!removed[i])
        {
            Log::write(describe(removal) + ": " + message);
            failures.keep(message);
        }
    }

    std::string elevationError;
    if (!deferred.empty())
    {
        std::vector<bool> elevatedFlags;
        ElevatedTask::removeMany(deferred, elevatedFlags, elevationError);
    }

    std::vector<bool> gone(removals.size(), false);
    for (size_t i = 0; i < removals.size(); ++i)
        gone[i] = removed[i] && (pending[i].removedPath.empty() || !toFile(pending[i].removedPath).exists());
    removeSharedItems(removals, gone);
    for (size_t i = 0; i < removals.size(); ++i)
    {
        if (!removed[i])
            continue;
        const Removal& removal = removals[i];
        if (gone[i])
        {
            Log::write(describe(removal) + ": ok, " + std::to_string(pending[i].fileCount) + " file(s)");
            std::string failure;
            if (!forget(removal.product, removal.format, removal.folder, failure))
                failures.keep(failure);
            continue;
        }
        removed[i] = false;
        const std::string failure = !elevationError.empty() ? elevationError
                                                            : "Could not remove " + removal.product + " " +
                                                                  PlatformUtils::formatToString(removal.format) +
                                                                  " from " + removal.folder + ".";
        Log::write(describe(removal) + ": " + failure);
        failures.keep(failure);
    }
    error = failures.text();
    return removed;
}

std::vector<bool> PluginManager::uninstallMany(const std::vector<std::pair<std::string, std::string>>& pairs,
                                               std::string& error)
{
    std::vector<Removal> removals;
    for (const auto& [product, formatText] : pairs)
        removals.push_back(removalFor(product, PlatformUtils::formatFromString(formatText)));
    return removeAll(removals, error);
}

bool PluginManager::uninstall(const std::string& product, const std::string& formatText, std::string& message)
{
    std::string error;
    // Removed, but with its record unsaved, the removal is reported by that failure.
    if (removeAll({removalFor(product, PlatformUtils::formatFromString(formatText))}, error).front() && error.empty())
    {
        message = product + " " + formatText + " removed";
        return true;
    }
    message = error;
    return false;
}

int PluginManager::uninstallAll(const std::string& product, const std::vector<std::string>& formatTexts,
                                std::string& message)
{
    std::vector<std::pair<std::string, std::string>> pairs;
    for (const std::string& text : formatTexts)
        pairs.emplace_back(product, text);
    std::string error;
    int count = 0;
    for (const bool done : uninstallMany(pairs, error))
        count += done ? 1 : 0;
    message = error.empty() ? "Removed " + std::to_string(count) + (count == 1 ? " format" : " formats") : error;
    return count;
}

bool PluginManager::removeStray(const InstalledPlugins::Entry& entry, std::string& message)
{
    const PluginFormat format = PlatformUtils::formatFromString(entry.format);
    if (format == PluginFormat::Unknown)
    {
        message = "Unknown format " + entry.format;
        return false;
    }
    std::string error;
    if (removeAll({{entry.product, format, parentOf(entry.path)}}, error).front() && error.empty())
    {
        message = entry.product + " " + entry.format + " removed";
        return true;
    }
    message = error;
    return false;
}

// Installs the record still lists, and that are still on disk, outside the folder the next install
// of their product and format would use.
std::vector<InstalledPlugins::Entry> PluginManager::getStrayInstalls() const
{
    std::vector<InstalledPlugins::Entry> strays;
    for (const InstalledPlugins::Entry& entry : installed.entries)
    {
        const PluginFormat format = PlatformUtils::formatFromString(entry.format);
        if (format == PluginFormat::Unknown)
            continue;
        const juce::File folder = literalFile(entry.path).getParentDirectory();
        if (toFile(pathFor(entry.product, format)) == folder)
            continue;
        if (!installed.installedFile(entry.product, format, pathOf(folder)).empty())
            strays.push_back(entry);
    }
    return strays;
}

// A standalone program gets a folder named after it; once empty, that folder goes with it.
bool PluginManager::forget(const std::string& product, PluginFormat format, const std::string& folder,
                           std::string& error)
{
    installed.remove(product, format);
    const bool saved = installed.save(error);
    if (format != PluginFormat::Standalone)
        return saved;
    const juce::File productFolder = toFile(folder);
    if (productFolder.getFileName().toStdString() == product && productFolder.isDirectory() &&
        productFolder.getNumberOfChildFiles(juce::File::findFilesAndDirectories) == 0)
        productFolder.deleteFile();
    return saved;
}
}
