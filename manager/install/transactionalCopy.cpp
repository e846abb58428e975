#include "manager/install/zipExtractor.h"

#include "manager/platform/filePaths.h"

#include <vector>

#include <sys/stat.h>

namespace pluginManager
{
namespace
{
const char* const backupSuffix = ".vyr-replaced";
constexpr int numberedBackups = 99;
constexpr size_t probeBufferSize = 16384;

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
    if (!createFolder(into))
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
}
