#include "manager/install/selfUpdate.h"

#include "manager/install/zipExtractor.h"
#include "manager/platform/filePaths.h"
#include "manager/platform/log.h"
#include "manager/platform/platformUtils.h"
#include "manager/platform/programInfo.h"

#include <juce_core/juce_core.h>

#include <cctype>

#include <unistd.h>

namespace pluginManager
{
namespace
{
const char* const ownProduct = "PluginManager";
const char* const ownFormat = "Standalone";
const char* const oldSuffix = ".old";
const char* const restartMarker = "--updated";



juce::File oldFileOf(const juce::File& programFile)
{
    return toFile(pathOf(programFile) + oldSuffix);
}

// Not following links: a left-over ".old" that is a link must not take its target with it.
bool removeOldFile(const juce::File& oldFile)
{
    return oldFile.deleteRecursively(false);
}

// The same probe the installer makes before it writes into a location: the folder is there (or
// can be made) and a file can be created in it.
bool folderTakesNewFiles(const std::string& folder)
{
    std::string ignored;
    return ZipExtractor::checkWriteAccess(folder, ignored) == WriteAccess::Writable;
}

bool isBlank(char c)
{
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

std::string trimmed(const std::string& text)
{
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

// Only a marker that stands as a word of its own is one: a path or value that merely contains the
// marker's letters must reach the new process unchanged.
bool standsAlone(const std::string& text, size_t position, size_t length)
{
    const bool startsWord = position == 0 || isBlank(text[position - 1]);
    const bool endsWord = position + length == text.size() || isBlank(text[position + length]);
    return startsWord && endsWord;
}

// The blanks around a removed marker stay; the shell that starts the program reads them as one.
std::string withoutMarkers(std::string arguments)
{
    const std::string marker = restartMarker;
    size_t position = arguments.find(marker);
    while (position != std::string::npos)
    {
        if (standsAlone(arguments, position, marker.size()))
            arguments.erase(position, marker.size());
        else
            ++position;
        position = arguments.find(marker, position);
    }
    return arguments;
}

std::string restartArguments(const std::string& arguments)
{
    return trimmed(trimmed(withoutMarkers(arguments)) + " " + restartMarker);
}

// The framework hands a file it cannot execute to a desktop opener instead, which would open the
// program as a document and still report success.
bool isExecutable(const juce::File& file)
{
    return ::access(file.getFullPathName().toRawUTF8(), X_OK) == 0;
}
}

const Asset* SelfUpdate::find(const Catalog& catalog)
{
    const std::string os = PlatformUtils::getCurrentOS();
    const std::string arch = PlatformUtils::getCurrentArch();
    const std::vector<std::string> versions = catalog.getVersions(ownProduct, ownFormat, os, arch);
    if (versions.empty() || compareVersions(versions.front(), programVersion) <= 0)
        return nullptr;
    return catalog.find(ownProduct, ownFormat, versions.front(), os, arch);
}

const Asset* SelfUpdate::findSameVersion(const Catalog& catalog)
{
    return catalog.find(ownProduct, ownFormat, programVersion, PlatformUtils::getCurrentOS(),
                        PlatformUtils::getCurrentArch());
}

std::string SelfUpdate::appFile()
{
    return pathOf(juce::File::getSpecialLocation(juce::File::currentApplicationFile));
}

std::string SelfUpdate::appFileName()
{
    return juce::File::getSpecialLocation(juce::File::currentApplicationFile).getFileName().toStdString();
}

std::string SelfUpdate::appFolder()
{
    return pathOf(juce::File::getSpecialLocation(juce::File::currentApplicationFile).getParentDirectory());
}

bool SelfUpdate::canUpdateInPlace(std::string& message, const std::string& folder)
{
    if (folderTakesNewFiles(folder))
        return true;
    message = std::string(programName) + " is installed in " + folder
              + ", which this program may not write to. Move it to a folder of your own to update it from here,"
                " or replace it by hand.";
    return false;
}

bool SelfUpdate::makeRoom(std::string& message, const std::string& programFile)
{
    const juce::File program = toFile(programFile);
    const juce::File oldFile = oldFileOf(program);
    if (oldFile.exists() && !removeOldFile(oldFile))
    {
        message = "Could not remove " + pathOf(oldFile);
        return false;
    }
    if (!program.moveFileTo(oldFile))
    {
        message = "Could not move " + pathOf(program) + " out of the way";
        return false;
    }
    return true;
}

void SelfUpdate::restore(const std::string& programFile)
{
    const juce::File program = toFile(programFile);
    const juce::File oldFile = oldFileOf(program);
    if (!oldFile.exists() || program.exists())
        return;
    if (!oldFile.moveFileTo(program))
        Log::write("Could not put " + pathOf(oldFile) + " back");
}

bool SelfUpdate::restart(const std::string& arguments, std::string& message, const std::string& programFile)
{
    const juce::File program = toFile(programFile);
    if (!program.exists())
    {
        message = pathOf(program) + " is not there";
        return false;
    }
    const std::string newArguments = restartArguments(arguments);
    if (!isExecutable(program) || !program.startAsProcess(juce::String::fromUTF8(newArguments.c_str())))
    {
        message = "Could not start " + pathOf(program);
        return false;
    }
    return true;
}

bool SelfUpdate::isRestart(const std::vector<std::string>& args)
{
    for (const std::string& arg : args)
        if (arg == restartMarker)
            return true;
    return false;
}

void SelfUpdate::cleanUp(const std::string& programFile)
{
    const juce::File oldFile = oldFileOf(toFile(programFile));
    if (!oldFile.exists())
        return;
    const bool removed = removeOldFile(oldFile);
    Log::write("Removing the previous version at " + pathOf(oldFile) + (removed ? ": ok" : ": failed"));
}
}
