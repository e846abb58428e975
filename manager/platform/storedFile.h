#pragma once

#include <cstddef>
#include <string>

namespace pluginManager
{
// Who may read a stored file once it is in place.
enum class FileAccess
{
    // Read and write for the owner alone, as for files that hold logins.
    OwnerOnly,
    // As a file newly created by this process: 0644 less the process's umask.
    Shared
};

// Far beyond any stored file of ours (they hold a few kilobytes), and small enough that even the
// costliest shape a damaged one can take (hundreds of thousands of elements) is read and written
// back within a fraction of a second. A larger one counts as unreadable.
constexpr size_t largestStoredFile = 1024 * 1024;

// Replaces the file at path by text so that a reader finds the old file or the new one, never a
// part of either. The text goes into a sibling that no other writer uses, readable by the owner
// alone and without a name where the system has such files, and one rename puts it in place; so
// two programs saving the same file at once each put a whole file there, and the later one stays.
// Siblings of the file that savers killed before their rename left are removed first, once no
// save in the folder is under way. False on failure, with error ("Could not save " and path, then
// why), the previous file untouched and no sibling left behind.
bool replaceStoredFile(const std::string& path, const std::string& text, FileAccess access, std::string& error);

// The bytes of the regular file at path, at most limit + 1 of them, so that a longer file shows as
// such. It is opened without waiting: a FIFO there would hold the run until someone wrote into it.
// False when there is no file, it is no regular file, or it cannot be read.
bool readStoredFile(const std::string& path, std::string& text, size_t limit = largestStoredFile);

// Whether a file can be made in folder now, as a save would make its sibling; nothing is left there.
bool folderTakesFiles(const std::string& folder);

// Whether the text of a stored file is one its reader understands.
using StoredFileCheck = bool (*)(const std::string& text);

// Saves a settings file: creates its folder, and replaces the file as above. A reader takes a file
// it cannot read for an empty one, so the save would lose whatever the user had in it: such a
// file is first moved to "<path>.damaged" (or "-2", "-3" and on after it, never over an earlier
// one), and one line on the error stream and in the log names both files. An empty file holds
// nothing to lose and is simply replaced. False, with error, when the file could not be saved (a
// text larger than largestStoredFile is not), or the unreadable one could not be moved; the latter
// is then left where it is.
bool saveStoredFile(const std::string& path, const std::string& text, FileAccess access, StoredFileCheck readable,
                    std::string& error);
}
