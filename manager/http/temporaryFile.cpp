#include "manager/http/temporaryFile.h"

#include "manager/platform/writeAll.h"

#include <fcntl.h>
#include <unistd.h>

namespace pluginManager
{
namespace
{
constexpr mode_t downloadFileMode = 0644;
}

TemporaryFile::TemporaryFile(const juce::File& file)
{
    file.deleteFile();
    m_fd = ::open(file.getFullPathName().toRawUTF8(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                  downloadFileMode);
}

TemporaryFile::~TemporaryFile() { close(); }

bool TemporaryFile::write(const char* data, size_t size) { return writeAll(m_fd, data, size); }

bool TemporaryFile::close()
{
    if (m_fd < 0)
        return true;
    const bool closed = ::close(m_fd) == 0;
    m_fd = -1;
    return closed;
}
}
