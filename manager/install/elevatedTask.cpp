#include "manager/install/elevatedTask.h"

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
    return destination.existsAsFile() && destination.hasIdenticalContentTo(source);
}

// A random name keeps the job files of concurrent requests apart.
juce::File newJobFile()
{
    const auto number = juce::String(juce::Random::getSystemRandom().nextInt64());
    return juce::File::getSpecialLocation(juce::File::tempDirectory)
        .getChildFile(jobFilePrefix + number + jobFileExtension);
}

// Two lines per job, source then destination, each ended by CRLF.
bool writeJobFile(const juce::File& file, const std::vector<ElevatedTask::Job>& jobs)
{
    juce::String text;
    for (const auto& job : jobs)
        text << juce::String::fromUTF8(job.source.c_str()) << "\n" << juce::String::fromUTF8(job.destination.c_str())
             << "\n";
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
            arrived[i] = sameContent(juce::File(juce::String::fromUTF8(jobs[i].source.c_str())),
                                     juce::File(juce::String::fromUTF8(jobs[i].destination.c_str())));
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
        removed[i] = !juce::File(juce::String::fromUTF8(paths[i].c_str())).exists();
        all = all && removed[i];
    }
    if (!all)
        error = noElevationMessage;
    return all;
}

// --- Worker side ---
}
