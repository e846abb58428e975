#pragma once

#include <functional>
#include <string>

namespace pluginManager
{
// Lets one run at a time change the stored files and the plug-in folders. A run loads the stored
// files at its start and writes them whole, so two at once would each undo what the other stored.
// The lock is an advisory lock on a file in the settings folder, held until the object goes; the
// system lets go of it when the process ends, however it ends, so a run that died blocks none.
class RunLock
{
public:
    enum class Result
    {
        Held,
        // No run can hold a lock here: the settings folder takes no file (then no save there
        // succeeds either, and each says so), or its file system has no locks.
        NoLockHere,
        // Another reason keeps the lock from being taken while the stored files could be changed:
        // the run must not go on.
        Failed
    };

    RunLock() = default;
    ~RunLock();
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;

    // Takes the lock, waiting as long as another process holds it; waiting is called once before
    // that wait. Without the lock, error says why.
    Result acquire(const std::function<void()>& waiting, std::string& error);

private:
    int m_file = -1;
};
}
