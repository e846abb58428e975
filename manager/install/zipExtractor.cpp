#include "manager/install/zipExtractor.h"

#include "manager/install/elevatedTask.h"
#include "manager/platform/filePaths.h"
#include "manager/platform/log.h"
#include "manager/platform/platformUtils.h"

#include <deque>
#include <map>
#include <memory>

#include <sys/stat.h>

namespace pluginManager
{
namespace
{
const char* const writeProbeName = ".vyr-write-test";
const char* const workFolderPrefix = "vyr-install-";
const char* const backupSuffix = ".vyr-replaced";
constexpr int numberedBackups = 99;
// The owner-execute bit of the Unix mode kept in the upper half of an entry's external attributes.
constexpr juce::uint32 ownerExecuteAttribute = 0x400000;
// As many links as the system itself follows in one path before it gives up.
constexpr int linkHopLimit = 40;
constexpr size_t probeBufferSize = 16384;
const char* const textFilePattern = "*.txt";
const char* const signatureFolder = "_CodeSignature";
const char* const finderFile = ".DS_Store";
const char* const leftAsItWas = ".\n\nThe installed plug-in was left as it was, so that none of your files is lost.";



std::string waysOut()
{
    if (ElevatedTask::isSupported())
        return "Allow the install to run as administrator when asked, or pick a location you own in Preferences.";
    return "Start the plugin manager as administrator, or pick a location you own in Preferences.";
}

// --- Links inside an archive ---

using PathParts = std::vector<std::string>;

// The parts of a path as written, "." and ".." included.
PathParts rawParts(const juce::String& path)
{
    PathParts parts;
    for (const auto& part : juce::StringArray::fromTokens(path.replaceCharacter('\\', '/'), "/", ""))
        parts.push_back(part.toStdString());
    return parts;
}

// Where an entry lands below the unpacked folder. The framework refuses entries that climb out,
// so a climb past the top never reaches the disk.
PathParts entryPath(const juce::String& name)
{
    PathParts parts;
    for (const auto& part : rawParts(name))
    {
        if (part == "..")
        {
            if (!parts.empty())
                parts.pop_back();
        }
        else if (!part.empty() && part != ".")
        {
            parts.push_back(part);
        }
    }
    return parts;
}

std::string joined(const PathParts& parts)
{
    std::string path;
    for (const auto& part : parts)
        path += (path.empty() ? "" : "/") + part;
    return path;
}

bool isAbsoluteOrEmpty(const std::string& target)
{
    return target.empty() || target.front() == '/';
}

// The target text of every link the archive holds, by the link's own place below the unpacked
// folder.
std::map<std::string, std::string> archiveLinks(juce::ZipFile& zip)
{
    std::map<std::string, std::string> links;
    for (int i = 0; i < zip.getNumEntries(); ++i)
    {
        const auto* entry = zip.getEntry(i);
        if (!entry->isSymbolicLink)
            continue;
        std::unique_ptr<juce::InputStream> stream(zip.createStreamForEntry(i));
        links[joined(entryPath(entry->filename))] = stream ? stream->readEntireStreamAsString().toStdString() : "";
    }
    return links;
}

// Whether a link, resolved as the system would resolve it inside the unpacked folder, stays
// there. Later steps follow links, so one that leads elsewhere would let a build copy in files
// from anywhere on the machine. Resolving goes through the archive's other links too: with a link
// "A" to ".", a target "A/../.." looks harmless part by part and still climbs out. A chain longer
// than the system follows would not resolve at all and is refused too.
bool staysInside(const PathParts& linkPath, const std::string& target, const std::map<std::string, std::string>& links)
{
    if (isAbsoluteOrEmpty(target))
        return false;
    PathParts resolved(linkPath.begin(), linkPath.end() - 1);
    const auto pendingParts = rawParts(juce::String::fromUTF8(target.c_str()));
    std::deque<std::string> pending(pendingParts.begin(), pendingParts.end());
    int hops = 0;
    while (!pending.empty())
    {
        const auto part = pending.front();
        pending.pop_front();
        if (part.empty() || part == ".")
            continue;
        if (part == "..")
        {
            if (resolved.empty())
                return false;
            resolved.pop_back();
            continue;
        }
        resolved.push_back(part);
        const auto link = links.find(joined(resolved));
        if (link == links.end())
            continue;
        if (++hops > linkHopLimit || isAbsoluteOrEmpty(link->second))
            return false;
        resolved.pop_back();
        const auto linkParts = rawParts(juce::String::fromUTF8(link->second.c_str()));
        pending.insert(pending.begin(), linkParts.begin(), linkParts.end());
    }
    return true;
}

// Why an entry must not be unpacked; empty when it may.
std::string refusalOf(const juce::ZipFile::ZipEntry& entry, const std::map<std::string, std::string>& links)
{
    if (!entry.isSymbolicLink)
        return {};
    const auto path = entryPath(entry.filename);
    if (path.empty())
        return {};
    const auto& target = links.at(joined(path));
    if (staysInside(path, target, links))
        return {};
    return "The entry " + entry.filename.toStdString() + " is a link to " + target
           + ", which lies outside the unpacked folder.";
}

// --- Transactional copy ---

// What a host holding a file open would stop: opening it for writing. An existing file is opened
// at its end and closed unchanged. A link is moved aside as itself, so what it points to never
// needs opening.
bool canReplaceFile(const juce::File& file, std::string& message)
{
    if (file.isSymbolicLink())
        return true;
    juce::FileOutputStream probe(file, probeBufferSize);
    if (probe.openedOk())
        return true;
    message = "Could not replace " + pathOf(file)
              + ".\n\nIt may be open in a host, or belong to a user with more rights than this one.";
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

// Copies an item with its contents, links as links: a bundle's own links must stay links, and
// copying what they point to would duplicate the bundle's contents (or never end, for a link to a
// parent). The framework's copy reports success even when the disk filled up, hence the size check.
bool copyItem(const juce::File& source, const juce::File& target)
{
    if (source.isSymbolicLink())
        return juce::File::createSymbolicLink(target, source.getNativeLinkedTarget(), false);
    if (source.isDirectory())
    {
        if (!target.createDirectory().wasOk())
            return false;
        for (const auto& child :
             source.findChildFiles(juce::File::findFilesAndDirectories, false, "*", juce::File::FollowSymlinks::no))
            if (!copyItem(child, target.getChildFile(child.getFileName())))
                return false;
        return true;
    }
    return source.copyFileTo(target) && target.getSize() == source.getSize();
}

// The first free name among N.vyr-replaced and N.vyr-replaced1 to 99; the target itself when none
// is free.
juce::File freeBackupName(const juce::File& target)
{
    const auto base = target.getFileName() + backupSuffix;
    for (int number = 0; number <= numberedBackups; ++number)
    {
        const auto candidate = target.getSiblingFile(number == 0 ? base : base + juce::String(number));
        if (!candidate.exists())
            return candidate;
    }
    return target;
}

struct Replaced
{
    juce::File target;
    juce::File backup; // juce::File() when nothing stood at the target before
};

void rollBack(const std::vector<Replaced>& replaced)
{
    for (auto it = replaced.rbegin(); it != replaced.rend(); ++it)
    {
        it->target.deleteRecursively(false);
        if (it->backup != juce::File())
            it->backup.moveFileTo(it->target);
    }
}

// --- Install ---

juce::File temporaryFolder()
{
    return juce::File::getSpecialLocation(juce::File::tempDirectory);
}

juce::File newWorkFolder()
{
    return temporaryFolder().getChildFile(workFolderPrefix + juce::String(juce::Random::getSystemRandom().nextInt64()));
}

// Removes the work folder when the install ends, unless a pending copy took it over.
struct WorkFolderCleanup
{
    juce::File folder;
    bool keep = false;
    ~WorkFolderCleanup()
    {
        if (!keep)
            folder.deleteRecursively(false);
    }
};

// Read-me files beside the plug-in are for the archive's reader, not for the plug-in folder.
std::vector<juce::String> dropTextFiles(const juce::File& root)
{
    std::vector<juce::String> dropped;
    for (const auto& file : root.findChildFiles(juce::File::findFiles, false, textFilePattern))
    {
        file.deleteFile();
        dropped.push_back(file.getFileName());
    }
    return dropped;
}

bool isUserFile(const juce::File& file, const juce::String& relative, const juce::File& newFolder)
{
    return !newFolder.getChildFile(relative).exists() && !relative.contains(signatureFolder)
           && file.getFileName() != finderFile;
}

// Files a user put inside an installed plug-in folder that the new build does not bring would go
// with the old folder; a copy of each goes to the product's rom folder instead. False, with the
// message, when one could not be kept: the old folder must then stay, or the file goes with it.
bool keepUserFiles(const juce::File& oldFolder, const juce::File& newFolder, const juce::File& romFolder,
                   std::string& message)
{
    // Links are not followed: what an old install links to outside itself is not the user's.
    for (const auto& file : oldFolder.findChildFiles(juce::File::findFiles, true, "*", juce::File::FollowSymlinks::no))
    {
        if (!isUserFile(file, file.getRelativePathFrom(oldFolder), newFolder))
            continue;
        if (!romFolder.isDirectory() && !romFolder.createDirectory().wasOk())
        {
            Log::write("Could not make " + pathOf(romFolder));
            message = "Could not make " + pathOf(romFolder) + " for " + pathOf(file) + leftAsItWas;
            return false;
        }
        auto destination = romFolder.getChildFile(file.getFileName());
        if (destination.existsAsFile() && destination.hasIdenticalContentTo(file))
            continue;
        if (destination.exists())
            destination = destination.getNonexistentSibling(true);
        if (!file.copyFileTo(destination))
        {
            Log::write("Could not keep " + pathOf(file));
            message = "Could not keep " + pathOf(file) + " in " + pathOf(romFolder) + leftAsItWas;
            return false;
        }
        Log::write("Kept " + pathOf(file) + " as " + pathOf(destination));
    }
    return true;
}

bool keepUserFiles(const juce::File& root, const juce::File& location, const std::string& product,
                   std::string& message)
{
    const auto romFolder = toFile(PlatformUtils::romFolder(product));
    for (const auto& newFolder : root.findChildFiles(juce::File::findDirectories, false))
    {
        const auto oldFolder = location.getChildFile(newFolder.getFileName());
        if (oldFolder.isDirectory() && !keepUserFiles(oldFolder, newFolder, romFolder, message))
            return false;
    }
    return true;
}
}

int ZipExtractor::checkWriteAccess(const std::string& location, std::string& message)
{
    if (location.empty())
    {
        message = "No install location. Set one in Preferences.";
        return WriteAccess::Unusable;
    }
    const auto folder = toFile(location);
    if (folder.existsAsFile())
    {
        message = pathOf(folder) + " is a file, not a folder.";
        return WriteAccess::Unusable;
    }
    if (!folder.isDirectory() && !folder.createDirectory().wasOk())
    {
        message = "Cannot create " + pathOf(folder) + ".\n\n" + waysOut();
        return WriteAccess::NeedsRights;
    }
    // A probe left by an earlier run must not pass for one made now.
    const auto probe = folder.getChildFile(writeProbeName);
    probe.deleteFile();
    if (!probe.create().wasOk())
    {
        message = "Cannot write to " + pathOf(folder) + ".\n\nThis folder usually belongs to the system. " + waysOut();
        return WriteAccess::NeedsRights;
    }
    probe.deleteFile();
    return WriteAccess::Writable;
}

bool ZipExtractor::extract(const std::string& zipPath, const std::string& destination, std::string& message,
                           const std::function<void(float)>& progress)
{
    const auto archive = toFile(zipPath);
    if (!archive.existsAsFile())
    {
        message = "The downloaded archive is missing.";
        return false;
    }
    juce::ZipFile zip(archive);
    const int count = zip.getNumEntries();
    if (count == 0)
    {
        message = "The downloaded archive is empty or damaged.";
        return false;
    }
    if (checkWriteAccess(destination, message) != WriteAccess::Writable)
        return false;

    const auto folder = toFile(destination);
    const auto links = archiveLinks(zip);
    const float step = 1.0f / static_cast<float>(count);
    for (int i = 0; i < count; ++i)
    {
        auto failure = refusalOf(*zip.getEntry(i), links);
        if (failure.empty())
        {
            const auto result = zip.uncompressEntry(i, folder, true);
            if (result.failed())
                failure = result.getErrorMessage().toStdString();
        }
        if (progress)
            progress(static_cast<float>(i + 1) * step);
        if (!failure.empty())
        {
            message = "Could not unpack into " + pathOf(folder) + ".\n\n" + failure;
            return false;
        }
    }

    // The reader does not restore modes, so executables get their bit from the entry. A link's
    // mode says nothing, and setting it would reach what the link points to.
    for (int i = 0; i < count; ++i)
    {
        const auto* entry = zip.getEntry(i);
        if ((entry->externalFileAttributes & ownerExecuteAttribute) != 0 && !entry->isSymbolicLink)
            folder.getChildFile(entry->filename).setExecutePermission(true);
    }
    return true;
}

juce::File ZipExtractor::pluginRoot(const juce::File& folder, const std::string& fileName)
{
    if (!fileName.empty())
    {
        const auto name = juce::String::fromUTF8(fileName.c_str());
        if (folder.getChildFile(name).exists())
            return folder;
        const auto found = folder.findChildFiles(juce::File::findFilesAndDirectories, true, name,
                                                 juce::File::FollowSymlinks::noCycles);
        if (!found.isEmpty())
            return found.getFirst().getParentDirectory();
    }
    // A wrapper folder is walked through; a bundle folder (Foo.vst3) is a plug-in, not a wrapper.
    auto root = folder;
    for (;;)
    {
        const auto subFolders = root.findChildFiles(juce::File::findDirectories, false);
        if (root.getNumberOfChildFiles(juce::File::findFiles) != 0 || subFolders.size() != 1
            || subFolders.getFirst().getFileName().containsChar('.'))
            return root;
        root = subFolders.getFirst();
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
    if (!into.isDirectory() && !into.createDirectory().wasOk())
    {
        message = "Could not create " + pathOf(into) + ".";
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

    std::vector<Replaced> replaced;
    for (const auto& item : items)
    {
        const auto target = into.getChildFile(item.getFileName());
        juce::File backup;
        if (target.exists())
        {
            backup = freeBackupName(target);
            if (backup == target || !target.moveFileTo(backup))
            {
                message = "Could not move " + pathOf(target) + " out of the way.";
                rollBack(replaced);
                return false;
            }
        }
        replaced.push_back({target, backup});
        if (!copyItem(item, target))
        {
            message = "Could not write " + pathOf(target) + ".";
            rollBack(replaced);
            return false;
        }
    }

    for (const auto& done : replaced)
        if (done.backup != juce::File())
            done.backup.deleteRecursively(false);
    for (const auto& done : replaced)
        mirrorExecutePermission(from.getChildFile(done.target.getFileName()), done.target);
    return true;
}

bool ZipExtractor::install(const std::string& zipPath, const std::string& location, const std::string& fileName,
                           const std::string& product, bool needsRights, std::vector<std::string>& items,
                           std::string& message, PendingCopy* pending)
{
    WorkFolderCleanup work{newWorkFolder()};
    if (!work.folder.createDirectory().wasOk())
    {
        message = "Could not unpack the download in " + pathOf(temporaryFolder()) + ".";
        return false;
    }
    if (!extract(zipPath, pathOf(work.folder), message))
        return false;

    const auto root = pluginRoot(work.folder, fileName);
    const auto droppedTextFiles = dropTextFiles(root);
    items.clear();
    for (const auto& item : root.findChildFiles(juce::File::findFilesAndDirectories, false))
        items.push_back(item.getFileName().toStdString());
    if (items.empty())
    {
        message = "The download holds nothing to install.";
        return false;
    }

    const auto destination = toFile(location);
    // Installing over a file of the user's that could not be kept would lose it.
    if (!keepUserFiles(root, destination, product, message))
        return false;

    if (!needsRights)
    {
        if (!copyInto(pathOf(root), location, message))
            return false;
        // A read-me of an earlier install would otherwise stay behind, describing another build.
        for (const auto& name : droppedTextFiles)
            destination.getChildFile(name).deleteFile();
        return true;
    }
    if (pending != nullptr)
    {
        *pending = {pathOf(root), location, pathOf(work.folder)};
        work.keep = true;
        return true;
    }
    return ElevatedTask::copyInto(pathOf(root), location, message);
}
}
