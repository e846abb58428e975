#include "manager/install/zipExtractor.h"

#include "manager/install/archiveDirectory.h"
#include "manager/install/archiveLinks.h"
#include "manager/install/elevatedTask.h"
#include "manager/install/entryUnpacker.h"
#include "manager/install/romFolder.h"
#include "manager/install/transactionalCopy.h"
#include "manager/install/workFolder.h"
#include "manager/platform/filePaths.h"
#include "manager/platform/fileSteps.h"
#include "manager/platform/log.h"

#include <vector>

#include <sys/stat.h>

namespace pluginManager
{
namespace
{
const char* const writeProbeName = ".vyr-write-test";
// The owner-execute bit of the Unix mode kept in the upper half of an entry's external attributes.
constexpr juce::uint32 ownerExecuteAttribute = 0x400000;
const char* const textFilePattern = "*.txt";
const char* const signatureFolder = "_CodeSignature";
const char* const finderFile = ".DS_Store";

std::string waysOut()
{
    if (ElevatedTask::isSupported())
        return "Allow the install to run as administrator when asked, or pick a location you own in Preferences.";
    return "Start the plugin manager as administrator, or pick a location you own in Preferences.";
}

// Read-me files beside the plug-in are for the archive's reader, not for the plug-in folder. They
// go aside, where their bytes tell a copy that an earlier install of the build left in the
// location. One that cannot be moved is deleted; nothing then tells its copies.
std::vector<juce::File> setTextFilesAside(const juce::File& root, const juce::File& aside)
{
    std::vector<juce::File> dropped;
    for (const auto& file : root.findChildFiles(juce::File::findFiles, false, textFilePattern))
    {
        const auto kept = aside.getChildFile(file.getFileName());
        if (aside != juce::File() && putInPlace(file, kept))
            dropped.push_back(kept);
        else
            file.deleteFile();
    }
    return dropped;
}

// Only a text file that the program itself could have put there goes, one with the bytes of this
// build's file of that name: another of that name is another maker's or the user's.
void removeEarlierCopies(const std::vector<juce::File>& dropped, const juce::File& location)
{
    for (const auto& ours : dropped)
    {
        const auto installed = literalChild(location, ours.getFileName().toStdString());
        struct stat info = {};
        if (::lstat(pathOf(installed).c_str(), &info) != 0)
            continue;
        if (holdSameBytes(ours, installed))
            installed.deleteFile();
        else
            Log::write("Left " + pathOf(installed) + ": it is not a copy of this build's "
                       + ours.getFileName().toStdString());
    }
}

// Links were judged against the whole unpacked folder when they were made, but only the root's
// items are installed, so each must keep its links to itself.
bool linksStayInTheirItems(const std::string& zipPath, const juce::File& unpacked, const juce::File& root,
                           std::string& message)
{
    juce::ZipFile zip(toFile(zipPath));
    const auto refusal = ArchiveLinks::of(zip).refusalWithin(root.getRelativePathFrom(unpacked).toStdString());
    if (refusal.empty())
        return true;
    message = "Could not unpack into " + pathOf(unpacked) + ".\n\n" + refusal;
    return false;
}

bool isUserFile(const juce::File& file, const juce::String& relative, const juce::File& newFolder)
{
    return !newFolder.getChildFile(relative).exists() && !relative.contains(signatureFolder)
           && file.getFileName() != finderFile;
}

// Files a user put inside an installed plug-in folder that the new build does not bring would go
// with the old folder; a copy of each goes to the product's rom folder instead. False, with the
// message, when one could not be kept: the old folder must then stay, or the file goes with it.
bool keepUserFiles(const juce::File& oldFolder, const juce::File& newFolder, const RomFolder& roms,
                   std::string& message)
{
    // Links are not followed, nor kept: what an old install links to is not inside it, and may be
    // a tree of the user's that is no business of the install's.
    for (const auto& file : oldFolder.findChildFiles(juce::File::findFiles, true, "*", juce::File::FollowSymlinks::no))
    {
        if (file.isSymbolicLink() || !isUserFile(file, file.getRelativePathFrom(oldFolder), newFolder))
            continue;
        if (!roms.keep(file, RomFolder::Keep::Copy, oldFolder, message))
        {
            message += RomFolder::leftAsItWas;
            return false;
        }
    }
    return true;
}

bool keepUserFiles(const juce::File& root, const juce::File& location, const std::string& product,
                   std::string& message)
{
    const RomFolder roms(product);
    for (const auto& newFolder : root.findChildFiles(juce::File::findDirectories, false))
    {
        const auto oldFolder = location.getChildFile(newFolder.getFileName());
        if (oldFolder.isDirectory() && !oldFolder.isSymbolicLink()
            && !keepUserFiles(oldFolder, newFolder, roms, message))
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
    if (!createFolder(folder))
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
    std::vector<juce::uint32> crcs;
    const auto reading = ArchiveDirectory::checksums(archive, zip, crcs);
    // Unpacked as far as the reader sees it, such a build would be installed in part.
    if (reading == ArchiveDirectory::Reading::Zip64)
    {
        message = "Could not unpack the download: it holds more than 65,535 entries or 4 GB (a zip64 archive), "
                  "which this program cannot read.";
        return false;
    }
    if (count == 0 || reading != ArchiveDirectory::Reading::Read)
    {
        message = "The downloaded archive is empty or damaged.";
        return false;
    }
    if (checkWriteAccess(destination, message) != WriteAccess::Writable)
        return false;

    const auto folder = toFile(destination);
    EntryUnpacker unpacker(zip, std::move(crcs), folder);
    const float step = 1.0f / static_cast<float>(count);
    for (int i = 0; i < count; ++i)
    {
        const auto failure = unpacker.unpack(i);
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
        const auto item = EntryUnpacker::placeOf(*entry, folder);
        if ((entry->externalFileAttributes & ownerExecuteAttribute) != 0 && !entry->isSymbolicLink
            && !item.isSymbolicLink())
            item.setExecutePermission(true);
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

bool ZipExtractor::install(const std::string& zipPath, const std::string& location, const std::string& fileName,
                           const std::string& product, bool needsRights, std::vector<std::string>& items,
                           std::string& message, PendingCopy* pending,
                           const std::function<void(const std::vector<std::string>&)>& beforeCopy)
{
    WorkFolder work;
    if (!work.create())
    {
        message = "Could not unpack the download in " + pathOf(WorkFolder::parentFolder()) + ".";
        return false;
    }
    if (!extract(zipPath, pathOf(work.folder()), message))
        return false;

    const auto root = pluginRoot(work.folder(), fileName);
    if (!linksStayInTheirItems(zipPath, work.folder(), root, message))
        return false;
    // Without rights, the dropped files are no use: the elevated copy leaves the location's alone.
    WorkFolder aside;
    const auto droppedTextFiles = setTextFilesAside(root, !needsRights && aside.create() ? aside.folder() : juce::File());
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
        if (beforeCopy)
            beforeCopy(items);
        if (!copyInto(pathOf(root), location, message))
            return false;
        // A copy of the build's read-me that came by another road (unpacked by hand, or by an
        // elevated copy) would stay behind beside the plug-in.
        removeEarlierCopies(droppedTextFiles, destination);
        return true;
    }
    if (pending != nullptr)
    {
        *pending = {pathOf(root), location, pathOf(work.folder())};
        work.handOver();
        return true;
    }
    if (beforeCopy)
        beforeCopy(items);
    return ElevatedTask::copyInto(pathOf(root), location, message);
}
}
