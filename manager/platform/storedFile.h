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
// once each put a whole file there, and the later one stays. False on failure, with the previous
// file untouched and no sibling left behind.
bool replaceStoredFile(const std::string& path, const std::string& text, FileAccess access);
}
