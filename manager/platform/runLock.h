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
    RunLock() = default;
    ~RunLock();
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;

    // Takes the lock, waiting as long as another process holds it; waiting is called once before
    // that wait. False, with the reason, when there is no lock file to take it on.
    bool acquire(const std::function<void()>& waiting, std::string& error);

private:
    int m_file = -1;
};
}
