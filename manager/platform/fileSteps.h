#pragma once

#include <juce_core/juce_core.h>

#include <string>

#include <sys/stat.h>

namespace pluginManager
{
// The steps every change on disk here is made of, each with one home so that the rule holds
// everywhere.

// Makes folder and every missing folder above it. A level that another program makes at the same
// moment counts as made (the framework's own call fails then, and a chain of several levels can
// lose that race at each of them). False, with errno saying why, when folder is not a folder
// afterwards.
bool createFolder(const juce::File& folder);

// Puts the finished file or folder at target in one rename (rename), replacing what was there (a
// folder only when it is empty): a reader, or a run killed at any moment, finds the old item or
// the new one, never neither (the framework's move deletes the target first, and copies where it
// cannot rename). Both lie in one folder. False, with errno saying why and both as they were, when
// the rename fails.
bool putInPlace(const juce::File& finished, const juce::File& target);

// Swaps the names of two items in one step (renameat2 with RENAME_EXCHANGE), so that neither name
// stands empty even for a moment. False, with errno saying why (EINVAL or ENOSYS where the file
// system cannot swap) and both as they were, when they were not swapped.
bool exchangeNames(const juce::File& one, const juce::File& other);

// Moves the file at from to the name to, in the same folder, unless something stands there: false
// then, with errno EEXIST, and from as it was. Where the file system cannot rename so, a second
// name (never made over an existing one) and then the first goes; where it has no second names
// either, a look first is the best it allows.
bool moveWithoutReplacing(const juce::File& from, const juce::File& to);

// What openRegularFile found at a path.
enum class Opening
{
    Opened,
    // Something other than a regular file stands there: a FIFO, a socket, a device, a folder, or a
    // link when links are not followed. info says what.
    NotAFile,
    // Nothing could be opened there; errno says why.
    Failed
};

// Opens the regular file at path for reading without waiting: open with O_NONBLOCK, then fstat of
// what was opened, so that no one can swap a FIFO in between a look and the open. A FIFO would
// hold the run until someone wrote into it, and a device could feed it without end. fd receives
// the descriptor (close-on-exec; the caller closes it) only when the answer is Opened, and info
// what was found. followLinks false refuses a link itself (O_NOFOLLOW).
Opening openRegularFile(const std::string& path, bool followLinks, int& fd, struct stat& info);

// Whether something other than a regular file or a folder stands at path (a link followed): a
// FIFO, device, socket or terminal, which a rename over it would replace without a word.
bool isOtherThanFile(const std::string& path);

// Whether the regular files at one and other hold the same bytes, each opened as openRegularFile
// opens it (a link followed at one, never at other). One file seen twice, through a link or a
// second name (the same device and inode), is not two files with the same bytes.
bool holdSameBytes(const juce::File& one, const juce::File& other);

// flock on fd, taken again when a signal interrupted the wait. False, with errno, when it was not
// taken.
bool lockFile(int fd, int operation);
}
