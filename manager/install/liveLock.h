#pragma once

#include <juce_core/juce_core.h>

namespace pluginManager
{
// What tells the things a run is still using from those a killed run left behind: a kernel lock
// that the run holds on them for as long as it uses them, and that the kernel drops when the run
// ends, however it ends. A run clears only what no one holds.
class LiveLock
{
public:
    LiveLock() = default;
    ~LiveLock();
    LiveLock(LiveLock&& other) noexcept;
    LiveLock& operator=(LiveLock&&) = delete;
    LiveLock(const LiveLock&) = delete;
    LiveLock& operator=(const LiveLock&) = delete;

    // The lock on folder (a link to a folder leads to it, so that every run locks the one folder),
    // for as long as the answer lives. With wait, waits while another run holds it; without, is not
    // held then. Not held either when the folder cannot be opened.
    static LiveLock onFolder(const juce::File& folder, bool wait);
    bool held() const { return m_fd >= 0; }

    // For owners of a descriptor of their own: takes the lock on fd unless another run holds it.
    static bool tryTake(int fd);
    // Whether item still names what fd has open: another run may have cleared it away, and
    // something else may stand at its name, by the time it is locked.
    static bool stillNamed(int fd, const juce::File& item);

private:
    explicit LiveLock(int fd) : m_fd(fd) {}

    int m_fd = -1;
};
}
