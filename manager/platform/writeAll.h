#pragma once

#include <cerrno>
#include <cstddef>

#include <unistd.h>

namespace pluginManager
{
// Writes all of bytes to fd, going on after a short write or an interrupted one. False, with errno
// set, when the system takes no more: a write that takes nothing counts as a full disk, so that the
// caller can name the reason.
inline bool writeAll(int fd, const char* bytes, size_t size)
{
    while (size > 0)
    {
        const auto written = ::write(fd, bytes, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written == 0)
            errno = ENOSPC;
        if (written <= 0)
            return false;
        bytes += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}
}
