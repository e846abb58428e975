// In a run with VYRPM_CLOSE_FAILS set, every close of a file open for writing fails with EIO once
// it has closed it, as a network file system may report a write that failed only there. Set to a
// text that begins with "/", only closes of files whose path holds that text fail.
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

namespace
{
bool chosen(int fd, const char* only)
{
    if (only[0] != '/')
        return true;
    char path[PATH_MAX] = {};
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const auto length = ::readlink(link.c_str(), path, sizeof path - 1);
    return length > 0 && std::string(path, static_cast<size_t>(length)).find(only) != std::string::npos;
}
}

extern "C" int close(int fd)
{
    static const auto realClose = reinterpret_cast<int (*)(int)>(::dlsym(RTLD_NEXT, "close"));
    const char* only = std::getenv("VYRPM_CLOSE_FAILS");
    const int flags = only != nullptr ? ::fcntl(fd, F_GETFL) : -1;
    const bool fails = flags >= 0 && (flags & O_ACCMODE) != O_RDONLY && chosen(fd, only);
    const int result = realClose(fd);
    if (!fails)
        return result;
    errno = EIO;
    return -1;
}
