#include "cli/output.h"

#include "manager/platform/programInfo.h"
#include "manager/platform/storedFile.h"

#include <fstream>
#include <iostream>

#include <sys/stat.h>
#include <unistd.h>

namespace pluginManager
{
namespace
{
// As many as the system itself follows before it gives up (ELOOP).
constexpr int maxLinks = 40;

std::string folderOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// The name a chain of links at path ends in, which is the file written: the links stay links.
// False when the chain does not end.
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

// A terminal, a pipe or a device (/dev/null, /dev/stdout) has no content to lose, and replacing
// it would put a file where it was: it is written into as it stands.
bool isOtherThanFile(const std::string& path)
{
    struct stat info = {};
    return ::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode);
}

bool writeInto(const std::string& text, const std::string& path)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file.is_open())
        return false;
    file << text;
    file.close();
    // A full disk or a lost device shows only here; saying "Written to" then would send the user
    // off with a file that holds less than the text, or nothing.
    return !file.fail();
}

// A file that others may not read stays so; any other gets the mode of a new file.
FileAccess accessFor(const std::string& path)
{
    struct stat info = {};
    return ::stat(path.c_str(), &info) == 0 && (info.st_mode & S_IROTH) == 0 ? FileAccess::OwnerOnly
                                                                              : FileAccess::Shared;
}

// The text goes into a file beside the one at path, which takes its place only when whole: a
// write that fails (a full disk) leaves the file that was there as it was.
bool writeToFile(const std::string& text, const std::string& path)
{
    std::string target = path;
    if (!followLinks(target))
        return false;
    if (isOtherThanFile(target))
        return writeInto(text, target);
    std::string why;
    return replaceStoredFile(target, text, accessFor(target), why);
}
}

void usage()
{
    std::cout << programName << " " << programVersion << " (headless)\n"
              << "\n"
              << "  vyrpm list [<product>]\n"
              << "  vyrpm install <product> [--format <format>] [--version <version>]\n"
              << "  vyrpm uninstall <product> [--format <format>]\n"
              << "  vyrpm login <internal|donators> [<product>] --user <user> --password <password>\n"
              << "  vyrpm logout <internal|donators> [<product>]\n"
              << "  vyrpm paths [<format> <location>|<format> default]\n"
              << "  vyrpm changelog <product> [--version <version>] [--format text|markdown] [--out <file>]\n"
              << "\n"
              << "--settings <folder> works with any of them, and puts the logins, the locations, the\n"
              << "record of what is installed and the log somewhere other than where this machine keeps\n"
              << "its own.\n"
              << "\n"
              << "list and install take --user/--password for this run only, with --channel (internal by\n"
              << "default) and --product saying which channel the login is for. A login stored by login or\n"
              << "by the GUI is used when none is given.\n"
              << "\n"
              << "list prints one build per line, separated by tabs: product, format, version, channel, and\n"
              << "the version of that format that is installed (empty when none is, or when the format\n"
              << "cannot say - see the notes in installedPlugins).\n";
}

int output(const std::string& text, const std::string& path)
{
    if (path.empty())
    {
        std::cout << text << std::endl;
        return 0;
    }
    if (!writeToFile(text, path))
    {
        std::cerr << "Could not write " << path << "\n";
        return 1;
    }
    std::cout << "Written to " << path << std::endl;
    return 0;
}
}
