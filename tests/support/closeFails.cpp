// Preloaded into a run of the program as the close() it calls: every close of a file open for
// writing below the folder VYRPM_CLOSE_FAILS_BELOW names fails with EIO after closing it, as a
// network file system may report a write that failed only when the file is closed.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

namespace
{
bool failsOnClose(int fd)
{
    const char* below = std::getenv("VYRPM_CLOSE_FAILS_BELOW");
    const int flags = ::fcntl(fd, F_GETFL);
    if (below == nullptr || flags < 0 || (flags & O_ACCMODE) == O_RDONLY)
        return false;
    char link[64], target[4096];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t length = ::readlink(link, target, sizeof target - 1);
    return length > 0 && std::strncmp(target, below, std::strlen(below)) == 0;
}
}

extern "C" int close(int fd)
{
    static const auto realClose = reinterpret_cast<int (*)(int)>(::dlsym(RTLD_NEXT, "close"));
    const bool fails = failsOnClose(fd);
    const int result = realClose(fd);
    if (!fails)
        return result;
    errno = EIO;
    return -1;
}
