#include "manager/platform/storedFile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pluginManager
{
namespace
{
constexpr mode_t sharedFileMode = 0644;
// Where the umask cannot be read, a shared file stays owner-only rather than open to more
// readers than the user allows.
constexpr mode_t unknownUmask = 077;

// umask() reports the mask only by replacing it, which for a moment would change the mode of
// files that other threads create; the kernel shows it without that.
mode_t currentUmask()
{
    std::ifstream status("/proc/self/status");
    const std::string key = "Umask:";
    for (std::string line; std::getline(status, line);)
        if (line.compare(0, key.size(), key) == 0)
            return static_cast<mode_t>(std::strtoul(line.c_str() + key.size(), nullptr, 8));
    return unknownUmask;
}

// Hidden, beside the file, and unique: mkostemp picks the last six characters so that the
// name did not exist, and creates the file owner-only.
std::vector<char> siblingTemplate(const std::string& path)
{
    const auto slash = path.rfind('/');
    const auto folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const auto name = slash == std::string::npos ? path : path.substr(slash + 1);
    const auto pattern = folder + "." + name + ".XXXXXX";
    return std::vector<char>(pattern.c_str(), pattern.c_str() + pattern.size() + 1);
}

bool writeAll(int fd, const std::string& text)
{
    size_t written = 0;
    while (written < text.size())
    {
        const auto result = ::write(fd, text.data() + written, text.size() - written);
        if (result < 0 && errno == EINTR)
            continue;
        if (result <= 0)
            return false;
        written += static_cast<size_t>(result);
    }
    return true;
}

bool setAccess(int fd, FileAccess access)
{
    if (access == FileAccess::OwnerOnly)
        return true;
    return ::fchmod(fd, sharedFileMode & ~currentUmask()) == 0;
}
}

bool replaceStoredFile(const std::string& path, const std::string& text, FileAccess access)
{
    if (path.empty())
        return false;
    auto temporary = siblingTemplate(path);
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return false;

    // Synced before the rename, so that a crash cannot leave an empty file under the old name.
    const bool written = writeAll(fd, text) && setAccess(fd, access) && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || std::rename(temporary.data(), path.c_str()) != 0)
    {
        ::unlink(temporary.data());
        return false;
    }
    return true;
}
}
