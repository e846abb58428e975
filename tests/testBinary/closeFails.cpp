// In a run with VYRPM_CLOSE_FAILS set, every close of a file open for writing fails with EIO once
// it has closed it, as a network file system may report a write that failed only there.
#include <cerrno>
#include <cstdlib>

#include <dlfcn.h>
#include <fcntl.h>

extern "C" int close(int fd)
{
    static const auto realClose = reinterpret_cast<int (*)(int)>(::dlsym(RTLD_NEXT, "close"));
    const int flags = std::getenv("VYRPM_CLOSE_FAILS") != nullptr ? ::fcntl(fd, F_GETFL) : -1;
    const int result = realClose(fd);
    if (flags < 0 || (flags & O_ACCMODE) == O_RDONLY)
        return result;
    errno = EIO;
    return -1;
}
