#include "manager/platform/fileSteps.h"

#include <cerrno>
#include <cstdio>
#include <string>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pluginManager
{
namespace
{
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

bool lockFile(int fd, int operation)
{
    int result = 0;
    while ((result = ::flock(fd, operation)) != 0 && errno == EINTR)
    {
    }
    return result == 0;
}
}
