#include "manager/install/liveLock.h"

#include "manager/platform/fileSteps.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pluginManager
{
LiveLock::~LiveLock()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

LiveLock::LiveLock(LiveLock&& other) noexcept : m_fd(other.m_fd)
{
    other.m_fd = -1;
}

LiveLock LiveLock::onFolder(const juce::File& folder, bool wait)
{
    const int fd = ::open(folder.getFullPathName().toRawUTF8(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return {};
    if (lockFile(fd, LOCK_EX | (wait ? 0 : LOCK_NB)))
        return LiveLock(fd);
    ::close(fd);
    return {};
}

bool LiveLock::tryTake(int fd)
{
    return lockFile(fd, LOCK_EX | LOCK_NB);
}

bool LiveLock::stillNamed(int fd, const juce::File& item)
{
    struct stat held = {};
    struct stat named = {};
    return ::fstat(fd, &held) == 0 && ::lstat(item.getFullPathName().toRawUTF8(), &named) == 0
           && held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}
}
