#pragma once

#include <juce_core/juce_core.h>

namespace pluginManager
{
// The two steps every change on disk here is made of, each with one home so that the rule holds
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
}
