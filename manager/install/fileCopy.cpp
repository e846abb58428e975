#include "manager/install/fileCopy.h"

#include "manager/install/changeSteps.h"
#include "manager/install/liveLock.h"
#include "manager/platform/filePaths.h"
#include "manager/platform/fileSteps.h"
#include "manager/platform/log.h"
#include "manager/platform/writeAll.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pluginManager
{
namespace
{
const char* const temporaryPrefix = ".vyr-copy-";
// As the framework makes files; the umask applies.
constexpr mode_t fileMode = 0644;
// Large enough that a big file costs few system calls; a small one gets a buffer of its own size.
constexpr size_t largestPiece = 256 << 10;
// A fresh name is needed only when the name was taken, or when another run cleared the file
// between its making and its locking: a few are plenty.
constexpr int creationAttempts = 8;

const char* const notAFile = "it is not a regular file";

std::string reasonOf(int error)
{
    return std::strerror(error);
}

ssize_t readSome(int fd, char* buffer, size_t size)
{
    for (;;)
    {
        const auto got = ::read(fd, buffer, size);
        if (got >= 0 || errno != EINTR)
            return got;
    }
}

// Every byte of in to out, piece by piece. False, with errno, when a read or a write fails.
bool pour(int in, int out, off_t size)
{
    std::vector<char> piece(std::clamp<size_t>(static_cast<size_t>(size), 1, largestPiece));
    for (;;)
    {
        const auto got = readSome(in, piece.data(), piece.size());
        if (got <= 0)
            return got == 0;
        if (!writeAll(out, piece.data(), static_cast<size_t>(got)))
            return false;
        ChangeSteps::stepDone();
    }
}
}

FileCopy::~FileCopy()
{
    if (m_temporary != juce::File())
        ::unlink(pathOf(m_temporary).c_str());
    if (m_fd >= 0)
        ::close(m_fd);
}

bool FileCopy::create(const juce::File& folder)
{
    for (int attempt = 0; attempt < creationAttempts; ++attempt)
    {
        const auto file = folder.getChildFile(
            temporaryPrefix + juce::String::toHexString(juce::Random::getSystemRandom().nextInt64()));
        const int fd = ::open(pathOf(file).c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, fileMode);
        if (fd < 0 && errno != EEXIST)
            return false;
        if (fd < 0)
            continue;
        if (LiveLock::tryTake(fd) && LiveLock::stillNamed(fd, file))
        {
            m_temporary = file;
            m_fd = fd;
            return true;
        }
        ::close(fd);
    }
    errno = EEXIST;
    return false;
}

bool FileCopy::write(const juce::File& source, const juce::File& folder, bool synced, std::string& why)
{
    int in = -1;
    struct stat original = {};
    const auto opening = openRegularFile(pathOf(source), false, in, original);
    if (opening != Opening::Opened || !create(folder))
    {
        why = opening == Opening::NotAFile ? notAFile : reasonOf(errno);
        if (in >= 0)
            ::close(in);
        return false;
    }
    // Written through a second descriptor, so that its close reports what a close reports while
    // the first keeps the lock.
    const int out = ::dup(m_fd);
    struct stat copied = {};
    bool whole = out >= 0 && pour(in, out, original.st_size) && ::fstat(out, &copied) == 0
                 && (!synced || ::fsync(out) == 0);
    why = whole ? "" : reasonOf(errno);
    if (out >= 0 && ::close(out) != 0 && whole)
    {
        why = reasonOf(errno);
        whole = false;
    }
    ::close(in);
    if (whole && copied.st_size != original.st_size)
    {
        why = "the copy came to " + std::to_string(copied.st_size) + " of its " + std::to_string(original.st_size)
              + " bytes";
        whole = false;
    }
    if (!whole)
    {
        ::unlink(pathOf(m_temporary).c_str());
        m_temporary = juce::File();
    }
    return whole;
}

bool FileCopy::placeAs(const juce::File& target)
{
    if (m_temporary == juce::File() || !moveWithoutReplacing(m_temporary, target))
        return false;
    m_temporary = juce::File();
    ::close(m_fd);
    m_fd = -1;
    ChangeSteps::stepDone();
    return true;
}

void FileCopy::clearAbandoned(const juce::File& folder)
{
    for (const auto& file : folder.findChildFiles(juce::File::findFiles, false, temporaryPrefix + juce::String("*"),
                                                  juce::File::FollowSymlinks::no))
    {
        const int fd = ::open(pathOf(file).c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        if (LiveLock::tryTake(fd) && LiveLock::stillNamed(fd, file) && ::unlink(pathOf(file).c_str()) == 0)
            Log::write("Removed " + pathOf(file) + ", left by a run that was cut short");
        ::close(fd);
    }
}
}
