#include "manager/install/workFolder.h"

#include "manager/install/liveLock.h"
#include "manager/platform/filePaths.h"
#include "manager/platform/log.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pluginManager
{
namespace
{
const char* const workFolderPrefix = "vyr-install-";
// The temporary folder may be shared with other users.
constexpr mode_t privateFolderMode = 0700;
// A fresh name is needed only when the name was taken, or when another run cleared the folder
// between its making and its locking: a few are plenty.
constexpr int creationAttempts = 8;

// -1 when the name does not lead to a folder, or leads to one through a link.
int openFolder(const juce::File& folder)
{
    return ::open(folder.getFullPathName().toRawUTF8(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

bool isOwnFolder(int fd)
{
    struct stat info = {};
    return ::fstat(fd, &info) == 0 && info.st_uid == ::geteuid();
}
}

WorkFolder::~WorkFolder()
{
    if (m_handedOver || m_lock < 0)
        return;
    m_folder.deleteRecursively(false);
    ::close(m_lock);
}

bool WorkFolder::create()
{
    for (int attempt = 0; attempt < creationAttempts; ++attempt)
    {
        const auto folder = parentFolder().getChildFile(
            workFolderPrefix + juce::String(juce::Random::getSystemRandom().nextInt64()));
        // Made afresh or not at all: whatever someone planted at the name is never used.
        if (::mkdir(folder.getFullPathName().toRawUTF8(), privateFolderMode) != 0)
        {
            if (errno == EEXIST)
                continue;
            return false;
        }
        const int fd = openFolder(folder);
        // A run clearing abandoned folders may have taken the folder away before it was locked.
        if (fd >= 0 && LiveLock::tryTake(fd) && LiveLock::stillNamed(fd, folder))
        {
            m_folder = folder;
            m_lock = fd;
            return true;
        }
        if (fd >= 0)
            ::close(fd);
    }
    return false;
}

// The descriptor is never closed: its lock must keep the folder from other runs' clearing for as
// long as this process might still run the copy.
void WorkFolder::handOver()
{
    m_handedOver = true;
}

juce::File WorkFolder::parentFolder()
{
    return juce::File::getSpecialLocation(juce::File::tempDirectory);
}

void WorkFolder::clearAbandoned()
{
    for (const auto& folder : parentFolder().findChildFiles(juce::File::findDirectories, false,
                                                               workFolderPrefix + juce::String("*"),
                                                               juce::File::FollowSymlinks::no))
    {
        const int fd = openFolder(folder);
        if (fd < 0)
            continue;
        if (isOwnFolder(fd) && LiveLock::tryTake(fd) && folder.deleteRecursively(false))
            Log::write("Removed " + pathOf(folder) + ", left by an install that was cut short");
        ::close(fd);
    }
}
}
