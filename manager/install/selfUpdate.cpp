#include "manager/install/selfUpdate.h"

#include "manager/install/zipExtractor.h"
#include "manager/platform/filePaths.h"
#include "manager/platform/log.h"
#include "manager/platform/platformUtils.h"
#include "manager/platform/programInfo.h"

#include <juce_core/juce_core.h>

#include <spawn.h>
#include <unistd.h>

namespace pluginManager
{
namespace
{
const char* const ownProduct = "PluginManager";
const char* const ownFormat = "Standalone";
const char* const oldSuffix = ".old";
const char* const restartMarker = "--updated";

// The running executable itself. The framework takes the program file from argv[0], which for a
// program started through PATH is a bare name, and then finds that name in the working folder.
// Read once: after makeRoom the link follows the running file to its ".old" name.
const juce::File& runningProgram()
{
    static const juce::File file = juce::File("/proc/self/exe").getLinkedTarget();
    return file;
}

juce::File oldFileOf(const juce::File& programFile)
{
    return literalFile(pathOf(programFile) + oldSuffix);
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

// Words between blanks, a word in double quotes keeping its blanks: the way the framework joins a
// program's arguments into one text. Only a marker standing as a word of its own is one; a path or
// value that merely contains its letters reaches the new process unchanged.
std::vector<std::string> restartArguments(const std::string& arguments)
{
    std::vector<std::string> words;
    for (juce::String word : juce::StringArray::fromTokens(juce::String::fromUTF8(arguments.c_str()), true))
    {
        if (word.length() >= 2 && word.startsWithChar('"') && word.endsWithChar('"'))
            word = word.substring(1, word.length() - 1);
        if (word.isNotEmpty() && word != restartMarker)
            words.push_back(word.toStdString());
    }
    words.push_back(restartMarker);
    return words;
}

// Started directly with an argument vector: no shell ever reads the program's path or its
// arguments. posix_spawn answers the exec's own failure, so a program that cannot run is reported
// instead of a child that dies at once. A session of its own keeps the new program running when
// the old one's terminal goes.
bool startProgram(const std::string& program, const std::vector<std::string>& arguments)
{
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    posix_spawnattr_t attributes;
    if (posix_spawnattr_init(&attributes) != 0)
        return false;
    pid_t child = 0;
    const bool started = posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID) == 0
                         && posix_spawn(&child, program.c_str(), nullptr, &attributes, argv.data(), environ) == 0;
    posix_spawnattr_destroy(&attributes);
    return started;
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
    return pathOf(runningProgram());
}

std::string SelfUpdate::appFileName()
{
    return runningProgram().getFileName().toStdString();
}

std::string SelfUpdate::appFolder()
{
    return pathOf(runningProgram().getParentDirectory());
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
    const juce::File program = literalFile(programFile);
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
    const juce::File program = literalFile(programFile);
    const juce::File oldFile = oldFileOf(program);
    if (!oldFile.exists() || program.exists())
        return;
    if (!oldFile.moveFileTo(program))
        Log::write("Could not put " + pathOf(oldFile) + " back");
}

bool SelfUpdate::restart(const std::string& arguments, std::string& message, const std::string& programFile)
{
    const juce::File program = literalFile(programFile);
    if (!program.exists())
    {
        message = pathOf(program) + " is not there";
        return false;
    }
    if (!startProgram(pathOf(program), restartArguments(arguments)))
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
    const juce::File oldFile = oldFileOf(literalFile(programFile));
    if (!oldFile.exists())
        return;
    const bool removed = removeOldFile(oldFile);
    Log::write("Removing the previous version at " + pathOf(oldFile) + (removed ? ": ok" : ": failed"));
}
}
