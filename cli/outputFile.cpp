#include "cli/outputFile.h"

#include "manager/platform/filePaths.h"
#include "manager/platform/fileSteps.h"
#include "manager/platform/writeAll.h"

#include <cstdlib>
#include <fstream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pluginManager
{
namespace
{
// As many as the system itself follows before it gives up (ELOOP).
constexpr int maxLinks = 40;
constexpr mode_t newFileMode = 0666;

std::string folderOf(const std::string& path) { return pathOf(literalFile(path).getParentDirectory()); }

// The name a chain of links at path ends in, which is the file written. False when the chain does
// not end.
bool followLinks(std::string& path)
{
    for (int hop = 0; hop < maxLinks; ++hop)
    {
        struct stat info = {};
        if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
            return true;
        std::string target(static_cast<size_t>(info.st_size) + 1, '\0');
        const auto length = ::readlink(path.c_str(), target.data(), target.size());
        if (length <= 0 || static_cast<size_t>(length) >= target.size())
            return false;
        target.resize(static_cast<size_t>(length));
        path = target.front() == '/' ? target : folderOf(path) + "/" + target;
    }
    return false;
}

bool writeInto(const std::string& text, const std::string& path)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file.is_open())
        return false;
    file << text;
    file.close();
    // A full disk or a lost device shows only here.
    return !file.fail();
}

// The mode of the file there, else that of a new file. The command line runs no other thread by
// now, so the umask can be read by setting it back at once.
mode_t modeFor(const std::string& path)
{
    struct stat info = {};
    if (::stat(path.c_str(), &info) == 0)
        return info.st_mode & 0777;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return newFileMode & ~mask;
}

// Synced before the rename, so that a crash cannot leave an empty file under the old name; the
// close is checked too, as a network file system may report a failed write only there.
bool fill(int fd, const std::string& text, mode_t mode)
{
    const bool written = writeAll(fd, text.data(), text.size()) && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
    return ::close(fd) == 0 && written;
}

bool replaceWhole(const std::string& text, const std::string& path)
{
    std::string beside = folderOf(path) + "/." + literalFile(path).getFileName().toStdString() + ".XXXXXX";
    const mode_t mode = modeFor(path);
    const int fd = ::mkostemp(beside.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    if (fill(fd, text, mode) && putInPlace(literalFile(beside), literalFile(path)))
        return true;
    ::unlink(beside.c_str());
    return false;
}
}

bool writeOutputFile(const std::string& text, const std::string& path)
{
    // Asked first, the system's own way: a link such as /dev/stdout leads to no name of a file.
    // Replacing a terminal, pipe or device would put a file in its place; none has content to lose.
    if (isOtherThanFile(path))
        return writeInto(text, path);
    std::string target = path;
    return followLinks(target) && replaceWhole(text, target);
}
}
