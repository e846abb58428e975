#include "manager/platform/fileSteps.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pluginManager
{
namespace
{
constexpr size_t comparedPiece = 64 << 10;

bool isFolder(const std::string& path)
{
    struct stat info = {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// One level: made now, or already there as a folder (a link to one counts, as for the framework).
bool makeLevel(const std::string& path)
{
    if (::mkdir(path.c_str(), 0777) == 0)
        return true;
    if (errno != EEXIST)
        return false;
    if (isFolder(path))
        return true;
    errno = ENOTDIR;
    return false;
}

size_t readFully(int fd, char* buffer, size_t size)
{
    size_t got = 0;
    while (got < size)
    {
        const auto some = ::read(fd, buffer + got, size - got);
        if (some < 0 && errno == EINTR)
            continue;
        if (some <= 0)
            break;
        got += static_cast<size_t>(some);
    }
    return got;
}

bool sameBytes(int one, int other)
{
    std::vector<char> a(comparedPiece), b(comparedPiece);
    for (;;)
    {
        const auto gotA = readFully(one, a.data(), a.size()), gotB = readFully(other, b.data(), b.size());
        if (gotA != gotB || std::memcmp(a.data(), b.data(), gotA) != 0)
            return false;
        if (gotA < a.size())
            return true;
    }
}
}

bool createFolder(const juce::File& folder)
{
    const std::string path = folder.getFullPathName().toStdString();
    if (path.empty())
    {
        errno = ENOENT;
        return false;
    }
    if (isFolder(path))
        return true;
    // From the top down, so that each level's parent is there when it is made.
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
        if (!makeLevel(path.substr(0, slash)))
            return false;
    return makeLevel(path);
}

bool putInPlace(const juce::File& finished, const juce::File& target)
{
    return std::rename(finished.getFullPathName().toRawUTF8(), target.getFullPathName().toRawUTF8()) == 0;
}

bool exchangeNames(const juce::File& one, const juce::File& other)
{
    return ::renameat2(AT_FDCWD, one.getFullPathName().toRawUTF8(), AT_FDCWD, other.getFullPathName().toRawUTF8(),
                       RENAME_EXCHANGE)
           == 0;
}

bool moveWithoutReplacing(const juce::File& from, const juce::File& to)
{
    const std::string source = from.getFullPathName().toStdString(), target = to.getFullPathName().toStdString();
    if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    if (::link(source.c_str(), target.c_str()) == 0)
    {
        ::unlink(source.c_str());
        return true;
    }
    if (errno != EPERM && errno != EOPNOTSUPP)
        return false;
    struct stat info = {};
    if (::lstat(target.c_str(), &info) == 0)
    {
        errno = EEXIST;
        return false;
    }
    return std::rename(source.c_str(), target.c_str()) == 0;
}

Opening openRegularFile(const std::string& path, bool followLinks, int& fd, struct stat& info)
{
    fd = -1;
    info = {};
    const int opened = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | (followLinks ? 0 : O_NOFOLLOW));
    if (opened < 0)
    {
        // A link refused as such is there all the same: it is not a file to read.
        if (errno == ELOOP && !followLinks && ::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode))
            return Opening::NotAFile;
        return Opening::Failed;
    }
    if (::fstat(opened, &info) != 0)
    {
        const int error = errno;
        ::close(opened);
        errno = error;
        return Opening::Failed;
    }
    if (!S_ISREG(info.st_mode))
    {
        ::close(opened);
        return Opening::NotAFile;
    }
    // Reads of a regular file never wait; the flag goes all the same, for whoever reads on.
    ::fcntl(opened, F_SETFL, ::fcntl(opened, F_GETFL) & ~O_NONBLOCK);
    fd = opened;
    return Opening::Opened;
}

bool isOtherThanFile(const std::string& path)
{
    struct stat info = {};
    return ::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode);
}

bool holdSameBytes(const juce::File& one, const juce::File& other)
{
    int first = -1, second = -1;
    struct stat firstInfo = {}, secondInfo = {};
    const bool same = openRegularFile(one.getFullPathName().toStdString(), true, first, firstInfo) == Opening::Opened
                      && openRegularFile(other.getFullPathName().toStdString(), false, second, secondInfo)
                             == Opening::Opened
                      && (firstInfo.st_dev != secondInfo.st_dev || firstInfo.st_ino != secondInfo.st_ino)
                      && firstInfo.st_size == secondInfo.st_size && sameBytes(first, second);
    for (const int fd : {first, second})
        if (fd >= 0)
            ::close(fd);
    return same;
}

bool lockFile(int fd, int operation)
{
    int result = 0;
    while ((result = ::flock(fd, operation)) != 0 && errno == EINTR)
    {
    }
    return result == 0;
}
}
