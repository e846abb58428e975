#pragma once

#include <juce_core/juce_core.h>

#include <string>

namespace pluginManager
{
// Putting a build's items into a plug-in folder, and taking installed items out of it, so that
// every name there holds a whole item whenever a run ends, and whatever another run does
// meanwhile. A run changes a plug-in folder only while it holds the folder's live lock, so what a
// live run has beside the items (its staged copies, its backups) is never taken for what a killed
// run left behind.
namespace ZipExtractor
{
// Copies the top-level items of source into destination, moving old ones aside first and putting
// them back when anything fails. Each new item is copied whole beside its old one, checked, and
// swapped in by renames, so that whenever the run is killed each item is either old or new and
// whole. Waits while another run changes destination.
bool copyInto(const std::string& source, const std::string& destination, std::string& message);

// Puts right what a copy or removal in location that was killed half-way left there: an item that
// is missing gets its old version back from its backup; other backups and staged copies go. Skipped
// while a live run changes location: that run tidies up after itself.
void clearInterruptedCopies(const std::string& location);

// Whether item and everything in it can be removed; message says why not.
bool canRemove(const juce::File& item, std::string& message);

// Removes item with everything in it, links not followed. It leaves its name in one rename first,
// so that a run killed while deleting leaves no part of it under a name that counts. Nothing is
// touched unless all of it can go; when the deleting still fails, item is put back when nothing of
// it went yet, and message says what is left when something did. Waits while another run changes
// the folder item lies in.
bool removeItem(const juce::File& item, std::string& message);
}
}
