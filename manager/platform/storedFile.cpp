#include "manager/platform/storedFile.h"

#include "manager/platform/filePaths.h"
#include "manager/platform/fileSteps.h"
#include "manager/platform/log.h"
#include "manager/platform/writeAll.h"

#include <juce_core/juce_core.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <system_error>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pluginManager
{
namespace
{
constexpr mode_t sharedFileMode = 0644;
constexpr mode_t ownerOnlyMode = 0600;
// Where the umask cannot be read, a shared file stays owner-only rather than open to more
// readers than the user allows.
constexpr mode_t unknownUmask = 077;
const std::string damagedSuffix = ".damaged";
// Far more than anyone leaves lying about; a bound all the same, so that a folder that answers
// every name as taken cannot keep a save going for ever.
constexpr int maxKeptCopies = 1000;
// The same for the fresh names a save tries for its sibling.
constexpr int maxSiblingNames = 100;
// The characters that end a sibling's name, as mkostemp picks them.
constexpr int siblingSuffixLength = 6;
// Where the system has no unnamed files, or cannot give one a name, the save makes a named sibling.
constexpr int noUnnamedFiles = -1;

// Some calls fail without saying why; a failure must never read as success.
int lastError() { return errno != 0 ? errno : EIO; }

// A folder above the file that is a file itself leaves no place for it either.
bool isNotThere(int code) { return code == ENOENT || code == ENOTDIR; }

ReadStatus cannotOpen(ReadStatus status, int code)
{
    status.kind = ReadStatus::Kind::CannotOpen;
    status.why = std::generic_category().message(code);
    return status;
}

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

std::string folderOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// Hidden, beside the file: "." + name + "." and then siblingSuffixLength characters.
std::string siblingStem(const std::string& name) { return "." + name + "."; }

std::string siblingPath(const std::string& path, const std::string& suffix)
{
    return folderOf(path) + "/" + siblingStem(nameOf(path)) + suffix;
}

bool isSiblingOf(const std::string& entry, const std::string& name)
{
    const std::string stem = siblingStem(name);
    return entry.size() == stem.size() + siblingSuffixLength && entry.compare(0, stem.size(), stem) == 0 &&
           std::all_of(entry.begin() + static_cast<long>(stem.size()), entry.end(),
                       [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; });
}

std::string randomSuffix(juce::Random& random)
{
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::string suffix;
    for (int i = 0; i < siblingSuffixLength; ++i)
        suffix += letters[random.nextInt(static_cast<int>(sizeof letters) - 1)];
    return suffix;
}

// Kernels and file systems without unnamed files answer so.
bool lacksUnnamedFiles(int code) { return code == EOPNOTSUPP || code == EISDIR || code == EINVAL; }

// Siblings of the file named name in folder: only ever called while no save there is under way.
void removeLeftovers(int folder, const std::string& name)
{
    const int listing = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* entries = listing < 0 ? nullptr : ::fdopendir(listing);
    if (entries == nullptr)
    {
        if (listing >= 0)
            ::close(listing);
        return;
    }
    std::vector<std::string> leftovers;
    while (const dirent* entry = ::readdir(entries))
        if (isSiblingOf(entry->d_name, name))
            leftovers.emplace_back(entry->d_name);
    ::closedir(entries);
    for (const auto& leftover : leftovers)
    {
        struct stat info = {};
        if (::fstatat(folder, leftover.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode))
            ::unlinkat(folder, leftover.c_str(), 0);
    }
}

// Every save holds a shared lock on the folder from before its sibling exists until the sibling is
// gone again, under its own name or the file's. A sibling found while no save holds the lock was
// left by a saver that died before its rename, and only then is it removed: a live writer's
// sibling is never taken. Where the folder takes no lock, nothing is removed.
class SaveLock
{
public:
    explicit SaveLock(const std::string& path)
        : m_folder(::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    {
        if (m_folder < 0)
            return;
        if (lockFile(m_folder, LOCK_EX | LOCK_NB))
            removeLeftovers(m_folder, nameOf(path));
        if (!lockFile(m_folder, LOCK_SH))
        {
            ::close(m_folder);
            m_folder = -1;
        }
    }

    ~SaveLock()
    {
        if (m_folder >= 0)
            ::close(m_folder);
    }

    SaveLock(const SaveLock&) = delete;
    SaveLock& operator=(const SaveLock&) = delete;

private:
    int m_folder;
};

// Set on every new file: an unnamed one is made with the umask applied, which may take even the
// owner's rights.
bool setAccess(int fd, FileAccess access)
{
    return ::fchmod(fd, access == FileAccess::OwnerOnly ? ownerOnlyMode : sharedFileMode & ~currentUmask()) == 0;
}

// Synced before the rename, so that a crash cannot leave an empty file under the old name.
int fill(int fd, const std::string& text, FileAccess access)
{
    return writeAll(fd, text.data(), text.size()) && setAccess(fd, access) && ::fsync(fd) == 0 ? 0 : lastError();
}

// The close is checked too: a network file system may report a failed write only there.
int closeFile(int fd, int problem)
{
    if (::close(fd) != 0 && problem == 0)
        return lastError();
    return problem;
}

// The unnamed file gets a name only when it is whole, so that a save killed before has left
// nothing behind.
bool giveName(int fd, const std::string& path, std::string& sibling)
{
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    juce::Random random;
    for (int attempt = 0; attempt < maxSiblingNames; ++attempt)
    {
        const std::string name = siblingPath(path, randomSuffix(random));
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0)
        {
            sibling = name;
            return true;
        }
        if (errno != EEXIST)
            return false;
    }
    return false;
}

int writeUnnamedSibling(const std::string& path, const std::string& text, FileAccess access, std::string& sibling)
{
    const int fd = ::open(folderOf(path).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, ownerOnlyMode);
    if (fd < 0)
        return lacksUnnamedFiles(errno) ? noUnnamedFiles : lastError();
    int problem = fill(fd, text, access);
    if (problem == 0 && !giveName(fd, path, sibling))
        problem = noUnnamedFiles;
    return closeFile(fd, problem);
}

// mkostemp picks the last characters so that the name did not exist, and makes the file owner-only.
int writeNamedSibling(const std::string& path, const std::string& text, FileAccess access, std::string& sibling)
{
    std::string pattern = siblingPath(path, std::string(siblingSuffixLength, 'X'));
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0)
        return lastError();
    sibling = pattern;
    return closeFile(fd, fill(fd, text, access));
}

bool isFolder(const std::string& path)
{
    struct stat info = {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// A file that cannot be opened is never taken for a damaged one: it may be whole, and it is not
// ours to move. (A folder there fails the rename, which says so.)
bool keepUnreadableFile(const std::string& path, StoredFileCheck readable, std::string& error)
{
    std::string text, why;
    const ReadStatus old = readStoredFile(path, text);
    if (old.kind == ReadStatus::Kind::CannotOpen && !isFolder(path))
    {
        error = "Could not read " + path + ": " + old.why + ". Nothing was changed.";
        return false;
    }
    if (old.kind != ReadStatus::Kind::Read || text.empty() || readable(text, why))
        return true;
    for (int copy = 1; copy <= maxKeptCopies; ++copy)
    {
        const std::string kept = path + damagedSuffix + (copy == 1 ? "" : "-" + std::to_string(copy));
        if (moveWithoutReplacing(literalFile(path), literalFile(kept)))
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
    const SaveLock saving(path);
    std::string sibling;
    int problem = writeUnnamedSibling(path, text, access, sibling);
    if (problem == noUnnamedFiles)
        problem = writeNamedSibling(path, text, access, sibling);
    if (problem == 0 && !putInPlace(literalFile(sibling), literalFile(path)))
        problem = lastError();
    if (problem != 0)
    {
        if (!sibling.empty())
            ::unlink(sibling.c_str());
        return fail(path, problem, error);
    }
    return true;
}

void ReadStatus::refuse(std::string reason)
{
    kind = Kind::Malformed;
    why = std::move(reason);
}

ReadStatus readStoredFile(const std::string& path, std::string& text, size_t limit)
{
    text.clear();
    ReadStatus status;
    status.path = path;
    int fd = -1;
    struct stat info = {};
    switch (openRegularFile(path, true, fd, info))
    {
    case Opening::Failed:
        return isNotThere(errno) ? status : cannotOpen(std::move(status), lastError());
    case Opening::NotAFile:
        status.kind = ReadStatus::Kind::CannotOpen;
        status.why = "not a regular file";
        return status;
    case Opening::Opened:
        break;
    }
    int problem = 0;
    char buffer[65536];
    while (problem == 0 && text.size() <= limit)
    {
        const auto got = ::read(fd, buffer, std::min(sizeof buffer, limit + 1 - text.size()));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            problem = lastError();
        if (got <= 0)
            break;
        text.append(buffer, static_cast<size_t>(got));
    }
    ::close(fd);
    if (problem == 0)
    {
        status.kind = ReadStatus::Kind::Read;
        return status;
    }
    text.clear();
    return cannotOpen(std::move(status), problem);
}

bool folderTakesFiles(const std::string& folder)
{
    const int unnamed = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, ownerOnlyMode);
    if (unnamed >= 0)
    {
        ::close(unnamed);
        return true;
    }
    if (!lacksUnnamedFiles(errno))
        return false;
    std::string probe = siblingPath(folder + "/probe", std::string(siblingSuffixLength, 'X'));
    const int named = ::mkostemp(probe.data(), O_CLOEXEC);
    if (named < 0)
        return false;
    ::close(named);
    ::unlink(probe.c_str());
    return true;
}

bool saveStoredFile(const std::string& path, const std::string& text, FileAccess access, StoredFileCheck readable,
                    std::string& error)
{
    // The next run would set it aside as malformed, and with it everything the save was to keep.
    std::string why;
    if (!readable(text, why))
        return fail(path, "it would not be read back (" + why + ")", error);
    if (!createFolder(toFile(path).getParentDirectory()))
        return fail(path, lastError(), error);
    // A FIFO, device or socket in the file's place is none of ours. (A folder there fails the rename.)
    if (isOtherThanFile(path))
        return fail(path, "it is not a regular file", error);
    return keepUnreadableFile(path, readable, error) && replaceStoredFile(path, text, access, error);
}
}
