#include "manager/install/romFolder.h"

#include "manager/platform/filePaths.h"
#include "manager/platform/fileSteps.h"
#include "manager/platform/log.h"
#include "manager/platform/platformUtils.h"

namespace pluginManager
{
namespace
{
// "bank(2).bin", "bank(3).bin" and on, as the framework numbers them; the "./" keeps a name that
// begins with "~" in the folder, where the framework would read a home folder.
juce::File numberedName(const juce::File& folder, const juce::File& file)
{
    return folder.getNonexistentChildFile("./" + file.getFileNameWithoutExtension(), file.getFileExtension(), true);
}
}

RomFolder::RomFolder(const std::string& product) : m_folder(toFile(PlatformUtils::romFolder(product))) {}

bool RomFolder::keep(const juce::File& file, Keep how, std::string& failure) const
{
    if (!createFolder(m_folder))
    {
        Log::write("Could not make " + pathOf(m_folder));
        failure = "Could not make " + pathOf(m_folder) + " for " + pathOf(file);
        return false;
    }
    const juce::File named = literalChild(m_folder, file.getFileName().toStdString());
    if (named.existsAsFile() && named.hasIdenticalContentTo(file))
    {
        if (how == Keep::Move)
            file.deleteFile();
        return true;
    }
    const juce::File destination = named.exists() ? numberedName(m_folder, file) : named;
    if (!file.copyFileTo(destination))
    {
        Log::write("Could not keep " + pathOf(file));
        failure = "Could not keep " + pathOf(file) + " in " + pathOf(m_folder);
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
}
