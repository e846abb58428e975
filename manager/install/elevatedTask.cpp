#include "manager/install/elevatedTask.h"

#include "manager/install/workerInput.h"
#include "manager/install/transactionalCopy.h"
#include "manager/platform/filePaths.h"
#include "manager/platform/fileSteps.h"

#include <juce_core/juce_core.h>

namespace pluginManager
{
namespace
{
const char* const noElevationMessage = "This system has no way of asking for administrator rights.";
const char* const jobFilePrefix = "vyr-elevated-jobs-";
const char* const jobFileExtension = ".txt";
const char* const jobResultsExtension = ".done";
const char* const jobFileUnwritable = "Could not write the list of plugins to install.";

// Whether destination already holds what copying source would put there. An empty source folder
// asks only for a folder at destination.
bool sameContent(const juce::File& source, const juce::File& destination)
{
    if (source.isDirectory())
    {
        for (const auto& child : source.findChildFiles(juce::File::findFilesAndDirectories, false, "*"))
            if (!sameContent(child, destination.getChildFile(child.getFileName())))
                return false;
        return destination.isDirectory();
    }
    return holdSameBytes(source, destination);
}

// A random name keeps the job files of concurrent requests apart.
juce::File newJobFile()
{
    const auto number = juce::String(juce::Random::getSystemRandom().nextInt64());
    return juce::File::getSpecialLocation(juce::File::tempDirectory)
        .getChildFile(jobFilePrefix + number + jobFileExtension);
}

// Two lines per job, source then destination, each ended by CRLF. The worker takes paths as they
// stand, so a location the user typed goes as the full path it stands for.
bool writeJobFile(const juce::File& file, const std::vector<ElevatedTask::Job>& jobs)
{
    juce::String text;
    for (const auto& job : jobs)
        text << toFile(job.source).getFullPathName() << "\n" << toFile(job.destination).getFullPathName() << "\n";
    return file.replaceWithText(text, false, false, "\r\n");
}
}

// --- Requesting side ---

bool ElevatedTask::isSupported()
{
    return false;
}

bool ElevatedTask::copyInto(const std::string& /*source*/, const std::string& /*destination*/, std::string& error)
{
    error = noElevationMessage;
    return false;
}

bool ElevatedTask::copyIntoMany(const std::vector<Job>& jobs, std::vector<bool>& arrived, std::string& error)
{
    arrived.assign(jobs.size(), false);
    if (jobs.empty())
        return true;
    if (jobs.size() == 1)
        return copyInto(jobs.front().source, jobs.front().destination, error);

    const auto jobFile = newJobFile();
    const auto resultsFile = jobFile.withFileExtension(jobResultsExtension);
    bool ok = false;
    if (!writeJobFile(jobFile, jobs))
    {
        error = jobFileUnwritable;
    }
    else
    {
        // A system that can ask for the rights starts the worker on the job file here. Whatever
        // already mirrors its source counts as arrived all the same.
        bool all = true;
        for (size_t i = 0; i < jobs.size(); ++i)
        {
            arrived[i] = sameContent(toFile(jobs[i].source),
                                     toFile(jobs[i].destination));
            all = all && arrived[i];
        }
        ok = all;
        if (!ok)
            error = noElevationMessage;
    }
    jobFile.deleteFile();
    resultsFile.deleteFile();
    return ok;
}

bool ElevatedTask::remove(const std::string& /*path*/, std::string& error)
{
    error = noElevationMessage;
    return false;
}

bool ElevatedTask::removeMany(const std::vector<std::string>& paths, std::vector<bool>& removed, std::string& error)
{
    removed.assign(paths.size(), false);
    if (paths.empty())
        return true;
    bool all = true;
    for (size_t i = 0; i < paths.size(); ++i)
    {
        removed[i] = !toFile(paths[i]).exists();
        all = all && removed[i];
    }
    if (!all)
        error = noElevationMessage;
    return all;
}

// --- Worker side ---

namespace
{
const char* const workerMarker = "--elevated-task";
const char* const emptyInstall = "The plugin manager asked for an install with nothing in it.";
const char* const emptyRemoval = "The plugin manager asked for a removal with nothing in it.";
const char* const notUnderstood = "The plugin manager asked itself for something it does not understand.";
const char* const removalHint = ".\n\nIt may be open in a host.";

// Pairs go by position, so a damaged pair is skipped without shifting the ones after it onto the
// wrong destinations.
std::vector<ElevatedTask::Job> pairsOf(const std::vector<std::string>& lines)
{
    std::vector<ElevatedTask::Job> jobs;
    for (size_t i = 0; i + 1 < lines.size(); i += 2)
    {
        if (!lines[i].empty() && !lines[i + 1].empty())
            jobs.push_back({lines[i], lines[i + 1]});
    }
    return jobs;
}

bool isBlank(const std::string& line)
{
    return juce::String::fromUTF8(line.c_str()).trim().isEmpty();
}

std::string cannotRemove(const std::string& path)
{
    return "Could not remove " + path + removalHint;
}

// The list file is checked like any path it names; its lines are returned only when it is fit to
// be acted on as a whole.
bool readList(const std::string& path, std::vector<std::string>& lines, std::string& error)
{
    return WorkerInput::checkPaths({path}, error) && WorkerInput::readLines(path, lines, error);
}

bool runCopy(const std::vector<std::string>& args, std::string& error)
{
    return WorkerInput::checkPaths({args[3], args[4]}, error) && ZipExtractor::copyInto(args[3], args[4], error);
}

// The requesting side reads each copy's outcome from the results file, so a failed copy still
// makes a successful run. One path that cannot be taken as it stands refuses the whole job.
bool runCopyMany(const std::vector<std::string>& args, std::string& error)
{
    std::vector<std::string> lines;
    if (!readList(args[3], lines, error))
        return false;
    const auto jobs = pairsOf(lines);
    if (jobs.empty())
    {
        error = emptyInstall;
        return false;
    }
    std::vector<std::string> paths;
    for (const auto& job : jobs)
        paths.insert(paths.end(), {job.source, job.destination});
    if (!WorkerInput::checkPaths(paths, error))
        return false;
    juce::String results;
    for (const auto& job : jobs)
    {
        std::string ignored;
        results << (ZipExtractor::copyInto(job.source, job.destination, ignored) ? "1" : "0") << "\r\n";
    }
    literalFile(args[3]).withFileExtension(jobResultsExtension).replaceWithText(results, false, false, nullptr);
    return true;
}

// Every path is tried, so one plug-in held open by a host does not keep the others in place.
bool runRemoveMany(const std::vector<std::string>& args, std::string& error)
{
    std::vector<std::string> lines;
    if (!readList(args[3], lines, error))
        return false;
    std::vector<std::string> paths;
    for (auto& line : lines)
    {
        if (!isBlank(line))
            paths.push_back(std::move(line));
    }
    if (paths.empty())
    {
        error = emptyRemoval;
        return false;
    }
    if (!WorkerInput::checkPaths(paths, error))
        return false;
    bool ok = true;
    for (const auto& path : paths)
    {
        const juce::File file = literalFile(path);
        if (!file.deleteRecursively(false) && file.exists())
        {
            if (ok)
                error = cannotRemove(path);
            ok = false;
        }
    }
    return ok;
}

bool runRemove(const std::vector<std::string>& args, std::string& error)
{
    if (!WorkerInput::checkPaths({args[3]}, error))
        return false;
    const juce::File file = literalFile(args[3]);
    if (file.deleteRecursively(false))
        return true;
    error = cannotRemove(pathOf(file));
    return false;
}

struct Verb
{
    const char* name;
    size_t argumentsNeeded; // "--elevated-task" included
    bool (*run)(const std::vector<std::string>& args, std::string& error);
};

const Verb verbs[] = {
    {"copy", 5, runCopy},
    {"copymany", 4, runCopyMany},
    {"removemany", 4, runRemoveMany},
    {"remove", 4, runRemove},
};

bool runVerb(const std::vector<std::string>& args, std::string& error)
{
    const std::string verb = args.size() > 2 ? args[2] : std::string();
    for (const Verb& known : verbs)
    {
        if (verb == known.name && args.size() >= known.argumentsNeeded)
            return known.run(args, error);
    }
    error = notUnderstood;
    return false;
}
}

bool ElevatedTask::isWorkerRequest(const std::vector<std::string>& args)
{
    return !args.empty() && args.front() == workerMarker;
}

bool ElevatedTask::runAsWorker(const std::vector<std::string>& args, int& exitCode)
{
    if (!isWorkerRequest(args))
        return false;
    const std::string resultFile = args.size() > 1 ? args[1] : std::string();
    std::string error;
    // A result file not named as it stands refuses the job: its failure could not be written where
    // the requesting side looks for it.
    const bool resultFileUsable = resultFile.empty() || WorkerInput::checkPaths({resultFile}, error);
    if (resultFileUsable && runVerb(args, error))
    {
        exitCode = 0;
        return true;
    }
    exitCode = 1;
    // The requesting side shows this text as it stands, so its line ends are the ones it expects.
    if (!resultFile.empty() && resultFileUsable)
        literalFile(resultFile).replaceWithText(juce::String::fromUTF8(error.c_str()), false, false, "\r\n");
    return true;
}
}
