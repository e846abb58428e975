#include "manager/platform/runLock.h"

#include "manager/platform/filePaths.h"
#include "manager/platform/fileSteps.h"
#include "manager/platform/platformUtils.h"
#include "manager/platform/storedFile.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace pluginManager
{
namespace
{
const char* const lockFileName = "run.lock";

// Readable by all, so that a run by another user (root, say) can still wait on a file made by
// this one: the lock works on a file opened for reading too. Opened without waiting, as a FIFO
// that someone put there would otherwise hold the run until another process opened it too.
int openLockFile(const std::string& path)
{
    const int file = ::open(path.c_str(), O_RDWR | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0644);
    return file >= 0 ? file : ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
}

// A file system that keeps no locks answers so for every file.
bool keepsNoLocks(int code) { return code == ENOLCK || code == EOPNOTSUPP; }

RunLock::Result fail(const std::string& path, RunLock::Result result, int file, std::string& error)
{
    error = "Could not lock " + path + ": " + std::strerror(errno);
    if (file >= 0)
        ::close(file);
    return result;
}
}

// Closing the file lets go of the lock.
RunLock::~RunLock()
{
    if (m_file >= 0)
        ::close(m_file);
}

RunLock::Result RunLock::acquire(const std::function<void()>& waiting, std::string& error)
{
    const std::string path = PlatformUtils::getSettingsPath(lockFileName);
    const auto folder = toFile(path).getParentDirectory();
    if (!createFolder(folder))
        return fail(path, Result::NoLockHere, -1, error);
    const int file = openLockFile(path);
    if (file < 0)
    {
        const int reason = errno;
        const bool noFiles = !folderTakesFiles(pathOf(folder));
        errno = reason;
        return fail(path, noFiles ? Result::NoLockHere : Result::Failed, file, error);
    }
    if (!lockFile(file, LOCK_EX | LOCK_NB))
    {
        if (errno != EWOULDBLOCK)
            return fail(path, keepsNoLocks(errno) ? Result::NoLockHere : Result::Failed, file, error);
        waiting();
        if (!lockFile(file, LOCK_EX))
            return fail(path, keepsNoLocks(errno) ? Result::NoLockHere : Result::Failed, file, error);
    }
    m_file = file;
    return Result::Held;
}
}
