#include "manager/install/pluginInstaller.h"

#include "manager/http/httpClient.h"
#include "manager/install/romFolder.h"
#include "manager/install/transactionalCopy.h"
#include "manager/install/workFolder.h"
#include "manager/install/zipExtractor.h"
#include "manager/platform/filePaths.h"
#include "manager/platform/log.h"

#include <juce_core/juce_core.h>
#include <juce_events/juce_events.h>

namespace pluginManager
{
namespace
{
const char* const romPatterns = "*.bin;*.mid";
const char* const notRemoved = ".\n\nThe plug-in was not removed, so that none of your files is lost.";

// Gives the busy flag back on every way out of an install, an exceptional one included.
struct BusyRelease
{
    std::atomic<bool>& flag;
    ~BusyRelease() { flag.store(false, std::memory_order_release); }
};

juce::String archiveName(const Asset& asset)
{
    return juce::String::fromUTF8((asset.product + "_" + asset.format + "_" + asset.version + ".zip").c_str());
}

std::string dataProductOf(const Asset& asset)
{
    return asset.dataProduct.empty() ? asset.product : asset.dataProduct;
}

// ROM files inside a plug-in folder belong to the user's product, not to the build: they go to
// the product's rom folder before the folder is replaced or removed. An install copies them, so
// that the old folder stays whole until the new one is in and takes the originals with it. False,
// with failure naming the file, when one of them could not be put there: the folder must then
// stay, or the ROM goes with it. Links are never followed: what one leads to (a development tree,
// the home folder) is not inside the plug-in, and moving its files would take them from where they
// belong. A link named like a ROM is no ROM either.
bool migrateRoms(const juce::File& item, const RomFolder& roms, RomFolder::Keep how, std::string& failure)
{
    if (!item.isDirectory() || item.isSymbolicLink())
        return true;
    const auto found = item.findChildFiles(juce::File::findFiles, true, romPatterns, juce::File::FollowSymlinks::no);
    for (const auto& rom : found)
        if (!rom.isSymbolicLink() && !roms.keep(rom, how, item, failure))
            return false;
    return true;
}

// Removals this system cannot make may be left to an elevated run.
bool mayDefer(const juce::File& item)
{
    std::string ignored;
    return ElevatedTask::isSupported()
           && ZipExtractor::checkWriteAccess(pathOf(item.getParentDirectory()), ignored) == WriteAccess::NeedsRights;
}

bool removeOne(const juce::File& item, std::string& message, std::vector<std::string>& deferred)
{
    if (!item.exists() || ZipExtractor::removeItem(item, message))
        return true;
    if (!mayDefer(item))
        return false;
    deferred.push_back(pathOf(item));
    return true;
}

// The log line of an install that got as far as unpacking.
void logInstall(const Asset& asset, const std::string& location, bool ok, bool deferred, const std::string& message)
{
    std::string outcome = ": " + message;
    if (deferred)
        outcome = ": unpacked, waiting for administrator rights";
    else if (ok)
        outcome = ": ok";
    Log::write("Install " + asset.product + " " + asset.format + " " + asset.version + " -> " + location + outcome);
}
}

// What runs that were killed half-way left behind goes before this run changes anything.
void PluginInstaller::clearAfterKilledRuns(const std::string& location, const std::string& product)
{
    WorkFolder::clearAbandoned();
    ZipExtractor::clearInterruptedCopies(location);
    RomFolder(product).clearInterrupted();
}

bool PluginInstaller::install(const Asset& asset, const Credentials& login, const std::string& location,
                              const Progress& progress, std::string& message, const std::string& fileName,
                              const std::shared_ptr<ElevatedBatch>& batch, const ItemsReady& beforeCopy)
{
    return run(asset, login, location, fileName, progress, cancelRequested, installing, installedItems, message,
               batch, beforeCopy);
}

bool PluginInstaller::run(const Asset& asset, const Credentials& login, const std::string& location,
                          const std::string& fileName, const Progress& progress, const std::shared_ptr<bool>& cancel,
                          const std::shared_ptr<std::atomic<bool>>& busy,
                          const std::shared_ptr<std::vector<std::string>>& items, std::string& message,
                          const std::shared_ptr<ElevatedBatch>& batch, const ItemsReady& beforeCopy)
{
    // A second install is refused at once rather than made to wait.
    if (busy->exchange(true, std::memory_order_acq_rel))
    {
        message = "Already installing";
        return false;
    }
    BusyRelease release{*busy};

    if (asset.url.empty())
    {
        message = "No download available";
        return false;
    }
    if (location.empty())
    {
        message = "There is no install location for " + (asset.format.empty() ? "this download" : asset.format)
                  + ". Set one in Preferences.";
        return false;
    }
    const int access = ZipExtractor::checkWriteAccess(location, message);
    if (access == WriteAccess::Unusable)
    {
        Log::write("Install " + asset.product + " " + asset.format + ": " + message);
        return false;
    }
    if (access == WriteAccess::NeedsRights && !ElevatedTask::isSupported())
        return false;
    const bool needsRights = access == WriteAccess::NeedsRights;
    const auto product = dataProductOf(asset);
    const RomFolder roms(product);
    clearAfterKilledRuns(location, product);

    // The download lies in a folder of this run's own: in a shared temporary folder, anyone could
    // plant a link at a fixed name there.
    WorkFolder download;
    if (!download.create())
    {
        message = "Could not make a folder for the download in " + pathOf(WorkFolder::parentFolder()) + ".";
        return false;
    }
    const auto archive = download.folder().getChildFile(archiveName(asset));
    // A cancel meant for an earlier download must not stop this one.
    setCancelled(cancel, false);
    if (!HttpClient::downloadFile(asset.url, pathOf(archive), message, progress, cancel, login))
        return false;

    const auto name = fileName.empty()
                          ? PlatformUtils::pluginFileName(asset.product, PlatformUtils::formatFromString(asset.format))
                          : fileName;
    const auto installedItem = toFile(location).getChildFile(juce::String::fromUTF8(name.c_str()));
    if (!migrateRoms(installedItem, roms, RomFolder::Keep::Copy, message))
    {
        message += RomFolder::leftAsItWas;
        logInstall(asset, location, false, false, message);
        return false;
    }

    std::vector<std::string> newItems;
    ZipExtractor::PendingCopy pending;
    const bool deferrable = needsRights && batch != nullptr;
    const bool ok = ZipExtractor::install(pathOf(archive), location, name, product, needsRights, newItems, message,
                                          deferrable ? &pending : nullptr, beforeCopy);
    const bool deferred = ok && !pending.workFolder.empty();
    if (deferred)
    {
        batch->jobs.push_back({pending.source, pending.destination});
        batch->workFolders.push_back(pending.workFolder);
        batch->records.push_back({asset, newItems});
    }
    if (ok && items)
        *items = newItems;

    if (ok)
        message = asset.product + " " + asset.format + " " + asset.version + " installed";
    logInstall(asset, location, ok, deferred, message);
    return ok;
}

void PluginInstaller::installAsync(const Asset& asset, const Credentials& login, const std::string& location,
                                   Progress progress, Completion done, const std::string& fileName,
                                   const std::shared_ptr<ElevatedBatch>& batch)
{
    auto reports = std::make_shared<Progress>(std::move(progress));
    auto finished = std::make_shared<Completion>(std::move(done));
    juce::Thread::launch([asset, login, location, fileName, items = installedItems, cancel = cancelRequested,
                          busy = installing, batch, reports, finished] {
        Progress forward;
        if (*reports)
            forward = [reports](float fraction) {
                juce::MessageManager::callAsync([reports, fraction] { (*reports)(fraction); });
            };
        std::string message;
        const bool ok = run(asset, login, location, fileName, forward, cancel, busy, items, message, batch);
        juce::MessageManager::callAsync([finished, ok, message] {
            if (*finished)
                (*finished)(ok, message);
        });
    });
}

bool PluginInstaller::uninstall(const std::string& name, const std::string& product, PluginFormat format,
                                const std::string& location, const std::vector<std::string>& files,
                                std::string& message, std::vector<std::string>* deferred, std::string* removedPath)
{
    std::vector<std::string> localDeferred;
    auto& pendingRemovals = deferred != nullptr ? *deferred : localDeferred;
    const RomFolder roms(product);
    clearAfterKilledRuns(location, product);

    auto path = PlatformUtils::installedFilePath(name, format, location);
    if (path.empty())
    {
        message = "There is no install location for this format.";
        return false;
    }
    // An install under another name (a custom file name) is found through its record.
    if (!toFile(path).exists())
    {
        path.clear();
        for (const auto& file : files)
            if (toFile(file).exists())
            {
                path = file;
                break;
            }
    }
    if (path.empty())
    {
        message = name + " " + PlatformUtils::formatToString(format) + " is not installed here.";
        return false;
    }
    if (removedPath != nullptr)
        *removedPath = path;

    const auto item = toFile(path);
    // Nothing moves unless all of the plug-in can go: a removal stopped half-way would leave a
    // plug-in without its ROM files, or a broken one.
    if (!ZipExtractor::canRemove(item, message) && !mayDefer(item))
        return false;
    // The ROM files of every item that goes are kept before the first item goes: the plug-in's,
    // then those of the other items its install put there.
    std::vector<juce::File> going{item};
    for (const auto& file : files)
        if (file != path)
            going.push_back(toFile(file));
    for (const auto& each : going)
        if (!migrateRoms(each, roms, RomFolder::Keep::Move, message))
        {
            message += notRemoved;
            return false;
        }
    if (!removeOne(item, message, pendingRemovals))
        return false;
    for (const auto& file : files)
    {
        std::string ignored;
        if (file != path)
            removeOne(toFile(file), ignored, pendingRemovals);
    }

    if (deferred == nullptr && !localDeferred.empty())
    {
        std::vector<bool> removed;
        ElevatedTask::removeMany(localDeferred, removed, message);
        if (item.exists())
            return false;
    }
    message = name + " " + PlatformUtils::formatToString(format) + " removed";
    return true;
}
}
