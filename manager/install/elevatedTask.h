#pragma once

#include "manager/catalog/asset.h"

#include <string>
#include <vector>

namespace pluginManager
{
// Copies into and removals from folders that belong to the system, done by the program itself
// started with administrator rights. This system has no way of asking for those rights, so every
// request that would need them fails with a message saying so; the several-item requests still
// report what is already in place or gone.
class ElevatedTask
{
public:
    ElevatedTask() = delete;

    // One elevated copy: the top-level items of source into destination.
    struct Job
    {
        std::string source;
        std::string destination;
    };

    // --- Requesting side ---

    static bool isSupported();
    // error is written only when a request fails.
    static bool copyInto(const std::string& source, const std::string& destination, std::string& error);
    // arrived receives one flag per job: whether its destination mirrors its source.
    static bool copyIntoMany(const std::vector<Job>& jobs, std::vector<bool>& arrived, std::string& error);
    static bool remove(const std::string& path, std::string& error);
    // removed receives one flag per path: whether it is gone.
    static bool removeMany(const std::vector<std::string>& paths, std::vector<bool>& removed, std::string& error);

    // --- Worker side: the program started with "--elevated-task" ---

    // args are the process arguments after the program name.
    static bool isWorkerRequest(const std::vector<std::string>& args);
    // False when args ask for no worker, exitCode untouched. Otherwise does the job, sets exitCode
    // (0 success, 1 failure) and answers true: the caller ends the process with exitCode.
    static bool runAsWorker(const std::vector<std::string>& args, int& exitCode);
};

// Installs whose final copy waits for one elevated run; filled by the installer, finished and
// emptied by the manager.
struct ElevatedBatch
{
    // What to record for a job once it arrived.
    struct Record
    {
        Asset asset;
        std::vector<std::string> files; // top-level items of the unpacked build
    };

    std::vector<ElevatedTask::Job> jobs;
    std::vector<std::string> workFolders; // deleted by the owner after the run
    std::vector<Record> records;          // one per job, same order
};
}
