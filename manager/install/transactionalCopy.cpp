#include "manager/install/transactionalCopy.h"

#include "manager/install/changeSteps.h"
#include "manager/install/fileCopy.h"
#include "manager/install/liveLock.h"
#include "manager/platform/filePaths.h"
#include "manager/platform/fileSteps.h"
#include "manager/platform/log.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pluginManager
{
namespace
{
namespace fs = std::filesystem;

const char* const backupSuffix = ".vyr-replaced";
// A new item is copied beside the old one under this name, and an item on its way out is renamed
// to it before it is deleted: what bears it is never a whole item anyone relies on.
const char* const stagingSuffix = ".vyr-staging";
const char* const cutShort = ", left by a run that was cut short";
const char* const heldOrRightsNeeded =
    ".\n\nIt may be open in a host, or belong to a user with more rights than this one.";
constexpr int numberedBackups = 99;
constexpr size_t probeBufferSize = 16384;

std::string notRemoved(const juce::File& item)
{
    return "Could not remove " + pathOf(item) + heldOrRightsNeeded;
}

// What a host holding a file open would stop: opening it for writing. An existing file is opened
// at its end and closed unchanged. A link is moved aside as itself, so what it points to never
// needs opening; so is a FIFO or a device, which opening could hold up or set going.
bool canReplaceFile(const juce::File& file, std::string& message)
{
    struct stat info = {};
    if (::lstat(pathOf(file).c_str(), &info) == 0 && !S_ISREG(info.st_mode))
        return true;
    juce::FileOutputStream probe(file, probeBufferSize);
    if (probe.openedOk())
        return true;
    message = "Could not replace " + pathOf(file) + heldOrRightsNeeded;
    return false;
}

bool canReplace(const juce::File& item, std::string& message)
{
    if (!item.isDirectory() || item.isSymbolicLink())
        return canReplaceFile(item, message);
    for (const auto& file : item.findChildFiles(juce::File::findFiles, true, "*", juce::File::FollowSymlinks::no))
        if (!canReplaceFile(file, message))
            return false;
    return true;
}

// Adds the execute bits the source carries; never removes one. A link is left alone: changing its
// mode would change what it points to, which gets the bits of its own entry.
void mirrorExecutePermission(const juce::File& source, const juce::File& target)
{
    if (source.isSymbolicLink())
        return;
    if (!source.isDirectory())
    {
        struct stat info = {};
        if (stat(source.getFullPathName().toRawUTF8(), &info) == 0 && (info.st_mode & S_IXUSR) != 0)
            target.setExecutePermission(true);
        return;
    }
    for (const auto& child :
         source.findChildFiles(juce::File::findFilesAndDirectories, false, "*", juce::File::FollowSymlinks::no))
        mirrorExecutePermission(child, target.getChildFile(child.getFileName()));
}

// What a copy made: its entries (files, links and folders) and the bytes of its files. Taken again
// from what stands at the copy's place before it is swapped in, it shows that no one changed the
// copy meanwhile, without reading the build a second time.
struct Tally
{
    std::uintmax_t entries = 0;
    std::uintmax_t bytes = 0;

    bool operator==(const Tally& other) const { return entries == other.entries && bytes == other.bytes; }
};

void count(Tally& tally, const fs::path& path, const fs::file_status& status)
{
    std::error_code error;
    ++tally.entries;
    if (fs::is_regular_file(status))
        tally.bytes += fs::file_size(path, error);
}

Tally tallyOf(const juce::File& item)
{
    Tally tally;
    std::error_code error;
    const fs::path top = pathOf(item);
    const auto status = fs::symlink_status(top, error);
    if (error)
        return tally;
    count(tally, top, status);
    if (!fs::is_directory(status))
        return tally;
    for (fs::recursive_directory_iterator it(top, error), end; !error && it != end; it.increment(error))
        count(tally, it->path(), it->symlink_status(error));
    return tally;
}

// Copies an item with its contents, links as links: a bundle's own links must stay links, and
// copying what they point to would duplicate the bundle's contents (or never end, for a link to a
// parent). Each file arrives whole or the copy fails.
bool copyItem(const juce::File& source, const juce::File& target, Tally& tally)
{
    ++tally.entries;
    if (source.isSymbolicLink())
        return juce::File::createSymbolicLink(target, source.getNativeLinkedTarget(), false);
    if (source.isDirectory())
    {
        if (!createFolder(target))
        {
            Log::write("Could not make " + pathOf(target) + ": " + std::strerror(errno));
            return false;
        }
        for (const auto& child :
             source.findChildFiles(juce::File::findFilesAndDirectories, false, "*", juce::File::FollowSymlinks::no))
            if (!copyItem(child, target.getChildFile(child.getFileName()), tally))
                return false;
        return true;
    }
    // The user's message names the item; the log says what went wrong with which of its files.
    FileCopy copy;
    std::string why;
    if (!copy.write(source, target.getParentDirectory(), false, why) || !copy.placeAs(target))
    {
        Log::write("Could not copy " + pathOf(source) + " to " + pathOf(target) + ": "
                   + (why.empty() ? std::strerror(errno) : why));
        return false;
    }
    tally.bytes += static_cast<std::uintmax_t>(target.getSize());
    return true;
}

// A link counts as there even when it leads nowhere.
bool isThere(const juce::File& item)
{
    return item.exists() || item.isSymbolicLink();
}

juce::File stagingName(const juce::File& target)
{
    return target.getSiblingFile(target.getFileName() + stagingSuffix);
}

// One rename: where the system cannot rename, the framework's move copies and deletes instead,
// which a killed run would leave half done.
bool renameItem(const juce::File& from, const juce::File& to)
{
    return putInPlace(from, to);
}

// Deleting takes many steps, so the item leaves target's name (or its backup name) in one rename
// first: a run killed while deleting leaves only a staging name behind, never half an item under a
// name that counts.
void retire(const juce::File& item, const juce::File& target)
{
    const auto staging = stagingName(target);
    const bool renamed = renameItem(item, staging);
    ChangeSteps::stepDone();
    (renamed ? staging : item).deleteRecursively(false);
    ChangeSteps::stepDone();
}

// The first free name among N.vyr-replaced and N.vyr-replaced1 to 99; the target itself when none
// is free.
juce::File freeBackupName(const juce::File& target)
{
    const auto base = target.getFileName() + backupSuffix;
    for (int number = 0; number <= numberedBackups; ++number)
    {
        const auto candidate = target.getSiblingFile(number == 0 ? base : base + juce::String(number));
        if (!isThere(candidate))
            return candidate;
    }
    return target;
}

// N for N.vyr-replaced and N.vyr-replaced1 to 99; empty for any other name.
juce::String backedUpName(const juce::String& name)
{
    const int at = name.lastIndexOf(backupSuffix);
    if (at <= 0)
        return {};
    const auto number = name.substring(at + static_cast<int>(std::strlen(backupSuffix)));
    if (number.isNotEmpty()
        && (!number.containsOnly("0123456789") || number[0] == '0' || number.getIntValue() > numberedBackups))
        return {};
    return name.substring(0, at);
}

// Puts the staged copy in target's place and the old item at backup. Where the file system can
// swap two names in one step, target never stands empty, not even for a moment; elsewhere a run
// killed between the two renames leaves the old item at backup, from where the next run puts it
// back.
bool swapIn(const juce::File& staged, const juce::File& target, const juce::File& backup)
{
    if (exchangeNames(staged, target))
    {
        ChangeSteps::stepDone();
        if (renameItem(staged, backup))
            return true;
        exchangeNames(staged, target);
        return false;
    }
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    if (!renameItem(target, backup))
        return false;
    ChangeSteps::stepDone();
    if (renameItem(staged, target))
        return true;
    renameItem(backup, target);
    return false;
}

// Copying a folder onto itself would move each item aside and then find nothing left to copy;
// copying into a folder inside the source would copy the copies without end.
bool overlaps(const juce::File& source, const juce::File& destination)
{
    const auto resolved = [](const juce::File& file) {
        std::error_code error;
        const auto path = std::filesystem::weakly_canonical(pathOf(file), error);
        return error ? file : toFile(path.string());
    };
    const auto from = resolved(source);
    const auto into = resolved(destination);
    return into == from || into.isAChildOf(from);
}

struct Replaced
{
    juce::File target;
    juce::File backup; // juce::File() when nothing stood at the target before
};

void discard(const std::vector<juce::File>& staged, size_t first)
{
    for (size_t i = first; i < staged.size(); ++i)
        staged[i].deleteRecursively(false);
}

void rollBack(const std::vector<Replaced>& replaced)
{
    for (auto it = replaced.rbegin(); it != replaced.rend(); ++it)
    {
        if (it->backup == juce::File())
        {
            retire(it->target, it->target);
        }
        else if (exchangeNames(it->backup, it->target))
        {
            retire(it->backup, it->target);
        }
        else
        {
            retire(it->target, it->target);
            renameItem(it->backup, it->target);
        }
    }
}

// What a killed run left beside the items of folder, cleared by a run that holds the folder.
void clearLeftovers(const juce::File& folder)
{
    const auto named = [&folder](const juce::String& pattern) {
        return folder.findChildFiles(juce::File::findFilesAndDirectories, false, pattern,
                                     juce::File::FollowSymlinks::no);
    };
    FileCopy::clearAbandoned(folder);
    // Staged copies go first, so that their names are free for retiring backups through.
    for (const auto& staged : named(juce::String("*") + stagingSuffix))
        if (staged.deleteRecursively(false))
            Log::write("Removed " + pathOf(staged) + cutShort);
    for (const auto& backup : named(juce::String("*") + backupSuffix + "*"))
    {
        const auto name = backedUpName(backup.getFileName());
        if (name.isEmpty())
            continue;
        const auto item = folder.getChildFile(name);
        if (isThere(item))
        {
            retire(backup, item);
            Log::write("Removed " + pathOf(backup) + cutShort);
        }
        else if (renameItem(backup, item))
        {
            Log::write("Put " + pathOf(backup) + " back as " + pathOf(item) + cutShort);
        }
    }
}

// Every new item is copied whole beside its old one before any takes an old one's place, so that
// a run killed while copying leaves the destination holding what it held.
bool stage(const juce::Array<juce::File>& items, const juce::File& into, std::vector<juce::File>& staged,
           std::vector<Tally>& tallies, std::string& message)
{
    for (const auto& item : items)
    {
        const auto target = into.getChildFile(item.getFileName());
        staged.push_back(stagingName(target));
        tallies.emplace_back();
        staged.back().deleteRecursively(false);
        const bool copied = copyItem(item, staged.back(), tallies.back());
        ChangeSteps::stepDone();
        if (!copied)
        {
            message = "Could not write " + pathOf(target) + ".";
            discard(staged, 0);
            return false;
        }
        mirrorExecutePermission(item, staged.back());
    }
    return true;
}

// A staged copy that is not what was copied (another program took from it, or added to it) must
// not take the old item's place.
bool stagedWhole(const std::vector<juce::File>& staged, const std::vector<Tally>& tallies, std::string& message)
{
    for (size_t i = 0; i < staged.size(); ++i)
    {
        if (tallyOf(staged[i]) == tallies[i])
            continue;
        const auto name = staged[i].getFileName().dropLastCharacters(static_cast<int>(std::strlen(stagingSuffix)));
        message = "Could not install " + pathOf(staged[i].getSiblingFile(name))
                  + ": the copy made beside it was changed or removed by another program while it was being made."
                    "\n\nThe installed plug-in was left as it was.";
        discard(staged, 0);
        return false;
    }
    return true;
}

bool swapAll(const juce::Array<juce::File>& items, const juce::File& into, const std::vector<juce::File>& staged,
             std::string& message)
{
    std::vector<Replaced> replaced;
    for (size_t i = 0; i < staged.size(); ++i)
    {
        const auto target = into.getChildFile(items[static_cast<int>(i)].getFileName());
        const bool replacing = isThere(target);
        const auto backup = replacing ? freeBackupName(target) : juce::File();
        const bool swapped = replacing ? backup != target && swapIn(staged[i], target, backup)
                                       : renameItem(staged[i], target);
        if (!swapped)
        {
            message = replacing ? "Could not move " + pathOf(target) + " out of the way."
                                : "Could not write " + pathOf(target) + ".";
            rollBack(replaced);
            discard(staged, i);
            return false;
        }
        ChangeSteps::stepDone();
        replaced.push_back({target, backup});
    }
    for (const auto& done : replaced)
        if (done.backup != juce::File())
            retire(done.backup, done.target);
    return true;
}

// What the system would refuse to remove: an entry marked immutable or append-only (for anyone,
// root too), or an entry of a folder this user may not change.
bool removable(const fs::path& path, bool isFolder)
{
    struct statx info = {};
    if (::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_TYPE, &info) == 0
        && (info.stx_attributes & (STATX_ATTR_IMMUTABLE | STATX_ATTR_APPEND)) != 0)
        return false;
    return !isFolder || ::access(path.c_str(), W_OK | X_OK) == 0;
}
}

bool ZipExtractor::copyInto(const std::string& source, const std::string& destination, std::string& message)
{
    const auto from = toFile(source);
    if (!from.isDirectory())
    {
        message = "There is nothing to install in " + source + ".";
        return false;
    }
    const auto into = toFile(destination);
    if (overlaps(from, into))
    {
        message = "Could not copy " + pathOf(from) + " into " + pathOf(into)
                  + ": the destination is the source folder or lies inside it.\n\nBoth were left as they were.";
        return false;
    }
    if (!createFolder(into))
    {
        message = "Could not create " + pathOf(into) + ".";
        return false;
    }
    const auto lock = LiveLock::onFolder(into, true);
    if (!lock.held())
    {
        message = "Could not open " + pathOf(into) + " to install into it.";
        return false;
    }
    const auto items = from.findChildFiles(juce::File::findFilesAndDirectories, false);
    if (items.isEmpty())
        return true;

    // Everything that will be replaced is checked before the first item moves.
    for (const auto& item : items)
    {
        const auto target = into.getChildFile(item.getFileName());
        if (target.exists() && !canReplace(target, message))
            return false;
    }
    std::vector<juce::File> staged;
    std::vector<Tally> tallies;
    return stage(items, into, staged, tallies, message) && stagedWhole(staged, tallies, message)
           && swapAll(items, into, staged, message);
}

void ZipExtractor::clearInterruptedCopies(const std::string& location)
{
    if (location.empty())
        return;
    const auto folder = toFile(location);
    if (const auto lock = LiveLock::onFolder(folder, false); lock.held())
        clearLeftovers(folder);
}

bool ZipExtractor::canRemove(const juce::File& item, std::string& message)
{
    std::error_code error;
    const fs::path top = pathOf(item);
    const bool isFolder = fs::is_directory(fs::symlink_status(top, error));
    bool can = removable(top.parent_path(), true) && removable(top, isFolder);
    if (can && isFolder)
        for (fs::recursive_directory_iterator it(top, error), end; can && !error && it != end; it.increment(error))
            can = removable(it->path(), fs::is_directory(it->symlink_status(error)));
    if (can && !error)
        return true;
    message = notRemoved(item);
    return false;
}

bool ZipExtractor::removeItem(const juce::File& item, std::string& message)
{
    const auto lock = LiveLock::onFolder(item.getParentDirectory(), true);
    if (!lock.held() || !canRemove(item, message))
    {
        message = notRemoved(item);
        return false;
    }
    // The leftover of a killed run: a live one would hold the folder.
    const auto staging = stagingName(item);
    std::error_code error;
    fs::remove_all(pathOf(staging), error);
    const auto entries = tallyOf(item).entries;
    if (!renameItem(item, staging))
    {
        message = notRemoved(item);
        return false;
    }
    ChangeSteps::stepDone();
    fs::remove_all(pathOf(staging), error);
    ChangeSteps::stepDone();
    if (!error)
        return true;
    if (tallyOf(staging).entries == entries && renameItem(staging, item))
    {
        message = notRemoved(item);
        return false;
    }
    message = "Could not remove all of " + pathOf(item) + ".\n\nWhat is left of it lies at " + pathOf(staging)
              + ", where it no longer counts as installed; the next install or uninstall removes it.";
    return false;
}
}
