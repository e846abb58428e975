#include "manager/install/archiveDirectory.h"

#include <cstring>

namespace pluginManager
{
namespace
{
constexpr juce::uint32 endOfDirectorySignature = 0x06054b50;
constexpr juce::uint32 directoryEntrySignature = 0x02014b50;
constexpr int endOfDirectorySize = 22;
constexpr int directoryEntrySize = 46;
// The reader looks this far back from the end for the end of the directory.
constexpr juce::int64 searchedTail = 1048576;
// What a zip64 packer writes in place of a size or an offset it keeps in the entry's extra field.
constexpr juce::uint32 inZip64Record = 0xFFFFFFFF;

juce::uint16 shortAt(const char* bytes)
{
    return static_cast<juce::uint16>(static_cast<juce::uint8>(bytes[0]) | static_cast<juce::uint8>(bytes[1]) << 8);
}

juce::uint32 intAt(const char* bytes)
{
    return static_cast<juce::uint32>(shortAt(bytes)) | static_cast<juce::uint32>(shortAt(bytes + 2)) << 16;
}

// Where the directory begins and how many entries it claims, found as the reader finds them: the
// first end record met walking back from the end in steps of its own size, and the reader's
// allowance for packers that point just past the first entry's signature.
juce::int64 directoryStart(juce::InputStream& source, int& count)
{
    juce::BufferedInputStream in(source, 8192);
    in.setPosition(in.getTotalLength());
    auto position = in.getPosition();
    const auto lowest = std::max<juce::int64>(0, position - searchedTail);
    char buffer[32] = {};
    while (position > lowest)
    {
        in.setPosition(position - endOfDirectorySize);
        position = in.getPosition();
        std::memcpy(buffer + endOfDirectorySize, buffer, 4);
        if (in.read(buffer, endOfDirectorySize) != endOfDirectorySize)
            return 0;
        for (int i = 0; i < endOfDirectorySize; ++i)
        {
            if (intAt(buffer + i) != endOfDirectorySignature)
                continue;
            in.setPosition(position + i);
            in.read(buffer, endOfDirectorySize);
            count = shortAt(buffer + 10);
            auto offset = static_cast<juce::int64>(intAt(buffer + 16));
            if (offset >= 4)
            {
                in.setPosition(offset);
                if (static_cast<juce::uint32>(in.readInt()) != directoryEntrySignature)
                {
                    in.setPosition(offset - 4);
                    if (static_cast<juce::uint32>(in.readInt()) == directoryEntrySignature)
                        offset -= 4;
                }
            }
            return offset;
        }
    }
    return 0;
}

// Sizes and the place of the entry's data lie in its zip64 extra field instead.
bool needsZip64(const char* entry)
{
    return intAt(entry + 20) == inZip64Record || intAt(entry + 24) == inZip64Record
           || intAt(entry + 42) == inZip64Record;
}
}

ArchiveDirectory::Reading ArchiveDirectory::checksums(const juce::File& archive, const juce::ZipFile& zip,
                                                      std::vector<juce::uint32>& crcs)
{
    crcs.clear();
    juce::FileInputStream in(archive);
    if (!in.openedOk())
        return Reading::Damaged;
    int count = 0;
    const auto start = directoryStart(in, count);
    if (start == inZip64Record)
        return Reading::Zip64;
    juce::MemoryBlock directory;
    if (start < 0 || start >= in.getTotalLength() || !in.setPosition(start))
        return Reading::Damaged;
    const auto size = static_cast<size_t>(in.getTotalLength() - start);
    if (in.readIntoMemoryBlock(directory, static_cast<ssize_t>(size)) != size)
        return Reading::Damaged;

    const auto* bytes = static_cast<const char*>(directory.getData());
    size_t position = 0;
    for (int i = 0; i < count && position + directoryEntrySize <= size; ++i)
    {
        const char* entry = bytes + position;
        const size_t nameLength = shortAt(entry + 28);
        if (position + directoryEntrySize + nameLength > size)
            break;
        if (needsZip64(entry))
            return Reading::Zip64;
        const auto* known = zip.getEntry(static_cast<int>(crcs.size()));
        const auto name = juce::String::fromUTF8(entry + directoryEntrySize, static_cast<int>(nameLength));
        if (known == nullptr || known->filename != name)
            return Reading::Damaged;
        crcs.push_back(intAt(entry + 16));
        position += directoryEntrySize + nameLength + shortAt(entry + 30) + shortAt(entry + 32);
    }
    // The end record counts at most 65,535 entries; a zip64 packer counts the rest elsewhere.
    if (position + 4 <= size && intAt(bytes + position) == directoryEntrySignature)
        return Reading::Zip64;
    return static_cast<int>(crcs.size()) == zip.getNumEntries() ? Reading::Read : Reading::Damaged;
}
}
