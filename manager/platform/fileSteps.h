#pragma once

#include <juce_core/juce_core.h>

namespace pluginManager
{
// The steps every change on disk here is made of, each with one home so that the rule holds
// everywhere.

// Makes folder and every missing folder above it. A level that another program makes at the same
// moment counts as made (the framework's own call fails then, and a chain of several levels can
// lose that race at each of them). False, with errno saying why, when folder is not a folder
// afterwards.
bool createFolder(const juce::File& folder);

// Puts the finished file at target in one rename, replacing what was there: a reader, or a run
// killed at any moment, finds the old file or the new one, never neither (the framework's move
// deletes the target first). Both lie in one folder. False, with errno saying why and both files
// as they were, when the rename fails.
bool putInPlace(const juce::File& finished, const juce::File& target);

// Moves the file at from to the name to, in the same folder, unless something stands there: false
// then, with errno EEXIST, and from as it was. Where the file system cannot rename so, a second
// name (never made over an existing one) and then the first goes; where it has no second names
// either, a look first is the best it allows.
bool moveWithoutReplacing(const juce::File& from, const juce::File& to);

// flock on fd, taken again when a signal interrupted the wait. False, with errno, when it was not
// taken.
bool lockFile(int fd, int operation);
}
