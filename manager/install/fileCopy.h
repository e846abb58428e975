#pragma once

#include <juce_core/juce_core.h>

#include <string>

namespace pluginManager
{
// A copy of a file that arrives whole under its name or not at all. The framework's copy ignores
// failed writes and the close, so on a full disk it left a short or empty file under the very name
// that counts and called it done. Here the bytes go into a temporary file beside the place, made
// afresh (never through a link), every write and the close checked and the size compared; only
// then does the file get its name, by one rename that never replaces what stands there. The run
// holds a lock on the temporary file while it has it, so that a later run can tell one that a
// killed run left behind from one being written, and removes only the former.
class FileCopy
{
public:
    FileCopy() = default;
    // Removes the temporary file unless it was given its name.
    ~FileCopy();
    FileCopy(const FileCopy&) = delete;
    FileCopy& operator=(const FileCopy&) = delete;

    // Copies the regular file source (never a link, a FIFO or a device, which is opened without
    // waiting) into a temporary file in folder; synced puts the bytes on the disk itself, for a
    // copy whose original goes next. False, with why saying why (mostly the system's words), when
    // the copy could not be made whole; nothing of it is left then.
    bool write(const juce::File& source, const juce::File& folder, bool synced, std::string& why);

    // Gives the written copy the name target, in the folder it was written to, unless something
    // stands there already: false then, with errno EEXIST, and the copy waits for another name.
    bool placeAs(const juce::File& target);

    // Removes the temporary files in folder that no live run holds.
    static void clearAbandoned(const juce::File& folder);

private:
    bool create(const juce::File& folder);

    juce::File m_temporary;
    int m_fd = -1;
};
}
