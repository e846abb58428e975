#include "manager/install/romFolder.h"

#include "manager/install/fileCopy.h"
#include "manager/platform/filePaths.h"
#include "manager/platform/fileSteps.h"
#include "manager/platform/log.h"
#include "manager/platform/platformUtils.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

#include <sys/stat.h>

namespace pluginManager
{
namespace
{
// Another run keeping a file of the same name may take the name found free; a few are plenty.
constexpr int placingAttempts = 8;

// "bank(2).bin", "bank(3).bin" and on, as the framework numbers them; the "./" keeps a name that
// begins with "~" in the folder, where the framework would read a home folder.
juce::File numberedName(const juce::File& folder, const juce::File& file)
{
    return folder.getNonexistentChildFile("./" + file.getFileNameWithoutExtension(), file.getFileExtension(), true);
}

// The real place of item (the part of it that exists, with its links followed) is folder or lies
// inside it.
bool liesWithin(const juce::File& item, const juce::File& folder)
{
    std::error_code error;
    const auto real = std::filesystem::weakly_canonical(pathOf(item), error);
    std::error_code folderError;
    const auto realFolder = std::filesystem::canonical(pathOf(folder), folderError);
    if (error || folderError)
        return false;
    const auto place = toFile(real.string()), top = toFile(realFolder.string());
    return place == top || place.isAChildOf(top);
}

// Whether named is a copy of file that stays when leaving goes: neither file itself seen again, nor
// anything inside leaving.
bool holdsCopyOf(const juce::File& named, const juce::File& file, const juce::File& leaving)
{
    return !liesWithin(named, leaving) && holdSameBytes(named, file);
}

// Under the file's own name when it is free, else under the first free numbered one.
bool place(FileCopy& copy, const juce::File& folder, const juce::File& file, juce::File& destination)
{
    destination = literalChild(folder, file.getFileName().toStdString());
    for (int attempt = 0; attempt < placingAttempts; ++attempt)
    {
        if (copy.placeAs(destination))
            return true;
        if (errno != EEXIST)
            return false;
        destination = numberedName(folder, file);
    }
    return false;
}
}

RomFolder::RomFolder(const std::string& product) : m_folder(toFile(PlatformUtils::romFolder(product))) {}

bool RomFolder::keep(const juce::File& file, Keep how, const juce::File& leaving, std::string& failure) const
{
    struct stat info = {};
    if (::lstat(pathOf(file).c_str(), &info) == 0 && !S_ISREG(info.st_mode))
    {
        Log::write("Left " + pathOf(file) + " to go with " + pathOf(leaving) + ": it is not a regular file");
        return true;
    }
    // A copy kept there would go with the very folder it was kept from.
    if (liesWithin(m_folder, leaving))
    {
        Log::write("Could not keep " + pathOf(file));
        failure = "Could not keep " + pathOf(file) + " in " + pathOf(m_folder) + ": that folder leads by a link into "
                  + pathOf(leaving) + ", which is to go";
        return false;
    }
    if (!createFolder(m_folder))
    {
        Log::write("Could not make " + pathOf(m_folder));
        failure = "Could not make " + pathOf(m_folder) + " for " + pathOf(file);
        return false;
    }
    const juce::File named = literalChild(m_folder, file.getFileName().toStdString());
    if (holdsCopyOf(named, file, leaving))
    {
        if (how == Keep::Move)
            file.deleteFile();
        return true;
    }
    // The name that counts holds the whole file or none; a moved file's original goes only once its
    // copy is on the disk.
    FileCopy copy;
    juce::File destination;
    std::string why;
    if (!copy.write(file, m_folder, true, why) || !place(copy, m_folder, file, destination))
    {
        if (why.empty())
            why = std::strerror(errno);
        Log::write("Could not keep " + pathOf(file));
        failure = "Could not keep " + pathOf(file) + " in " + pathOf(m_folder) + ": " + why;
        return false;
    }
    if (how == Keep::Copy)
    {
        Log::write("Kept " + pathOf(file) + " as " + pathOf(destination));
        return true;
    }
    const bool removed = file.deleteFile();
    Log::write("Moved " + pathOf(file) + " to " + pathOf(destination) + (removed ? "" : ", original kept"));
    return true;
}

void RomFolder::clearInterrupted() const
{
    FileCopy::clearAbandoned(m_folder);
}
}
