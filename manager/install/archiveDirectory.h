#pragma once

#include <juce_core/juce_core.h>

#include <vector>

namespace pluginManager
{
// What the framework's zip reader keeps to itself: the CRC-32 its packer stored for each entry.
// It lies in the archive's central directory, which is read here the way the reader finds it, so
// that the checksums line up with the reader's entries one for one. The reader knows nothing of
// zip64, the form packers use past 65,535 entries or 4 GB: there it would see a part of the
// archive as the whole, so such an archive is told apart here.
namespace ArchiveDirectory
{
enum class Reading
{
    Read,
    Damaged, // the directory does not list the same entries as the reader
    Zip64    // the directory holds more entries, or larger ones, than the reader can see
};

// The CRC-32 of every entry of zip, in the reader's order, when the answer is Read.
Reading checksums(const juce::File& archive, const juce::ZipFile& zip, std::vector<juce::uint32>& crcs);
}
}
