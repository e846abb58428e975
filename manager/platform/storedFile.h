#pragma once

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

// Replaces the file at path by text so that a reader finds the old file or the new one, never a
// part of either. The text goes into a sibling of a name no other writer uses, created readable
// by the owner alone, and one rename puts it in place; so two programs saving the same file at
// once each put a whole file there, and the later one stays. False on failure, with error
// ("Could not save " and path, then why), the previous file untouched and no sibling left behind.
bool replaceStoredFile(const std::string& path, const std::string& text, FileAccess access, std::string& error);

// The bytes of the file at path; false when there is no file or it cannot be read.
bool readStoredFile(const std::string& path, std::string& text);

// Whether the text of a stored file is one its reader understands.
using StoredFileCheck = bool (*)(const std::string& text);

// Saves a settings file: creates its folder, and replaces the file as above. A reader takes a file
// it cannot read for an empty one, so the save would lose whatever the user had in it: such a
// file is first moved to "<path>.damaged" (or "-2", "-3" and on after it, never over an earlier
// one), and one line on the error stream and in the log names both files. An empty file holds
// nothing to lose and is simply replaced. False, with error, when the file could not be saved or
// the unreadable one could not be moved; the latter is then left where it is.
bool saveStoredFile(const std::string& path, const std::string& text, FileAccess access, StoredFileCheck readable,
                    std::string& error);
}
