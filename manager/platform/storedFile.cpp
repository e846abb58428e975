#include "manager/platform/storedFile.h"

#include "manager/platform/filePaths.h"
#include "manager/platform/fileSteps.h"
#include "manager/platform/log.h"
#include "manager/platform/writeAll.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <system_error>
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
const std::string damagedSuffix = ".damaged";
// Far more than anyone leaves lying about; a bound all the same, so that a folder that answers
// every name as taken cannot keep a save going for ever.
constexpr int maxKeptCopies = 1000;

// Some calls fail without saying why; a failure must never read as success.
int lastError() { return errno != 0 ? errno : EIO; }

bool fail(const std::string& path, const std::string& reason, std::string& error)
{
    error = "Could not save " + path + ": " + reason;
    return false;
}

bool fail(const std::string& path, int code, std::string& error)
{
    return fail(path, std::generic_category().message(code), error);
}

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

bool setAccess(int fd, FileAccess access)
{
    if (access == FileAccess::OwnerOnly)
        return true;
    return ::fchmod(fd, sharedFileMode & ~currentUmask()) == 0;
}

// Neither form replaces a file already under the new name; the link leaves the file under its old
// name too, until the save puts the new file there.
bool moveWithoutReplacing(const std::string& from, const std::string& to)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    // File systems that cannot rename so.
    return errno == EINVAL && ::link(from.c_str(), to.c_str()) == 0;
}

bool holdsSomething(const std::string& path)
{
    struct stat info = {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0;
}

bool keepUnreadableFile(const std::string& path, StoredFileCheck readable, std::string& error)
{
    std::string text;
    if (!holdsSomething(path) || (readStoredFile(path, text) && readable(text)))
        return true;
    for (int copy = 1; copy <= maxKeptCopies; ++copy)
    {
        const std::string kept = path + damagedSuffix + (copy == 1 ? "" : "-" + std::to_string(copy));
        if (moveWithoutReplacing(path, kept))
        {
            const std::string notice = "Could not read " + path + "; it is kept as " + kept;
            std::cerr << notice << "\n";
            Log::write(notice);
            return true;
        }
        if (errno != EEXIST)
            return fail(path, "could not keep the unreadable file as " + kept + " (" +
                                  std::generic_category().message(lastError()) + ")", error);
    }
    return fail(path, "could not keep the unreadable file, every name for it is taken", error);
}
}

bool replaceStoredFile(const std::string& path, const std::string& text, FileAccess access, std::string& error)
{
    if (path.empty())
        return fail(path, ENOENT, error);
    auto temporary = siblingTemplate(path);
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return fail(path, lastError(), error);

    // Synced before the rename, so that a crash cannot leave an empty file under the old name.
    int problem = writeAll(fd, text.data(), text.size()) && setAccess(fd, access) && ::fsync(fd) == 0 ? 0 : lastError();
    if (::close(fd) != 0 && problem == 0)
        problem = lastError();
    if (problem == 0 && !putInPlace(literalFile(temporary.data()), literalFile(path)))
        problem = lastError();
    if (problem != 0)
    {
        ::unlink(temporary.data());
        return fail(path, problem, error);
    }
    return true;
}

bool readStoredFile(const std::string& path, std::string& text)
{
    text.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info = {};
    bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    char buffer[65536];
    while (ok)
    {
        const auto got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
        {
            ok = got == 0;
            break;
        }
        text.append(buffer, static_cast<size_t>(got));
    }
    ::close(fd);
    if (!ok)
        text.clear();
    return ok;
}

bool saveStoredFile(const std::string& path, const std::string& text, FileAccess access, StoredFileCheck readable,
                    std::string& error)
{
    if (!createFolder(toFile(path).getParentDirectory()))
        return fail(path, lastError(), error);
    return keepUnreadableFile(path, readable, error) && replaceStoredFile(path, text, access, error);
}
}
