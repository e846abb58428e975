#pragma once

#include "manager/install/archiveLinks.h"

#include <juce_core/juce_core.h>

#include <functional>
#include <string>
#include <vector>

namespace pluginManager
{
// Puts the entries of a build archive into a folder one by one, trusting none of them. The
// framework's own unpacking checks neither sizes nor checksums and ignores failed writes, so a
// damaged download or a full disk would pass for a good install. Here each entry's bytes are
// checked against the size and CRC-32 the archive declares while they are written, in one pass,
// and a write that fails fails the entry. No entry lands outside the folder, through a link, or as
// a link that leads out of the folder.
class EntryUnpacker
{
public:
    // crcs: the CRC-32 of each entry of zip, in the reader's order.
    EntryUnpacker(juce::ZipFile& zip, std::vector<juce::uint32> crcs, const juce::File& folder);

    // Why the entry could not be unpacked, naming it; empty when it was.
    std::string unpack(int index);

    // Where the entry of zip lands below folder, by the one name rule of every step that looks an
    // entry up: a "\" in its name separates folders, as a "/" does.
    static juce::File placeOf(const juce::ZipFile::ZipEntry& entry, const juce::File& folder);

private:
    using Sink = std::function<std::string(const char*, size_t)>;

    std::string unpackLink(int index, const juce::File& target);
    std::string unpackFile(int index, const juce::File& target);
    std::string stream(int index, const Sink& sink);

    juce::ZipFile& m_zip;
    const std::vector<juce::uint32> m_crcs;
    const juce::File m_folder;
    const ArchiveLinks m_links;
    std::vector<char> m_buffer;
};
}
