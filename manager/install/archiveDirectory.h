#pragma once

#include <juce_core/juce_core.h>

#include <vector>

namespace pluginManager
{
// What the framework's zip reader keeps to itself: the CRC-32 its packer stored for each entry.
// It lies in the archive's central directory, which is read here the way the reader finds it, so
// that the checksums line up with the reader's entries one for one.
namespace ArchiveDirectory
{
// The CRC-32 of every entry of zip, in the reader's order. False when the directory does not list
// the same entries as the reader: the archive is then not what either of them thinks.
bool checksums(const juce::File& archive, const juce::ZipFile& zip, std::vector<juce::uint32>& crcs);
}
}
