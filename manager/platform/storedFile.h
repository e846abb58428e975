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

// What reading a stored file found. A loader keeps it, so that the command line can say which file
// it went on without, and why.
struct ReadStatus
{
    enum class Kind
    {
        Read,
        // Nothing at the path, or no folder above it: the file is simply not made yet.
        NotThere,
        // Read, but its reader does not understand it.
        Malformed,
        // Something is there that could not be read: no permission, no regular file, an I/O error.
        CannotOpen
    };

    std::string path;
    Kind kind = Kind::NotThere;
    // For Malformed and CannotOpen: what was found, such as "Permission denied".
    std::string why;

    bool failed() const { return kind == Kind::Malformed || kind == Kind::CannotOpen; }
    // Marks a file that was read as one its reader refused, for why.
    void refuse(std::string reason);
};

// The bytes of the regular file at path, at most limit + 1 of them, so that a longer file shows as
// such: Read with them in text, else NotThere or CannotOpen with text empty. It is opened without
// waiting: a FIFO there would hold the run until someone wrote into it.
ReadStatus readStoredFile(const std::string& path, std::string& text, size_t limit = largestStoredFile);

// Whether a file can be made in folder now, as a save would make its sibling; nothing is left there.
bool folderTakesFiles(const std::string& folder);

// Whether the text of a stored file is one its reader understands; when not, why says what it found.
using StoredFileCheck = bool (*)(const std::string& text, std::string& why);

// Saves a settings file: creates its folder, and replaces the file as above. The text is first
// given to readable, the reader's own check: a text the next run would not read back is not
// written ("Could not save <path>: it would not be read back (<why>)"). A reader takes a file it
// found malformed for an empty one, so the save would lose whatever the user had in it: such a
// file is first moved to "<path>.damaged" (or "-2", "-3" and on after it, never over an earlier
// one), and one line on the error stream and in the log names both files. An empty file holds
// nothing to lose and is simply replaced. A regular file there that cannot be opened (another
// user's, say) may be whole, so it is never replaced: "Could not read <path>: <why>. Nothing was
// changed." False, with error, whenever the file was not saved; the old file is then left as it was
// and where it was.
bool saveStoredFile(const std::string& path, const std::string& text, FileAccess access, StoredFileCheck readable,
                    std::string& error);
}
