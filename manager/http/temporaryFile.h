#pragma once

#include <juce_core/juce_core.h>

#include <cstddef>

namespace pluginManager
{
// The temporary file of a download, made afresh and written through its own descriptor: it may
// lie in a folder that others write to, and nothing they planted at its name, a link least of all,
// may receive the download.
class TemporaryFile
{
public:
    // A file an earlier run left there goes; a name that someone else holds stays theirs, and the
    // file is then not open.
    explicit TemporaryFile(const juce::File& file);
    ~TemporaryFile();
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    bool isOpen() const { return m_fd >= 0; }
    // False when not all of data could be written (a full disk).
    bool write(const char* data, size_t size);
    // False when the close reports an error, as a network file system may for a write that failed
    // only there. True for a file that is not open.
    bool close();

private:
    int m_fd = -1;
};
}
