#include "manager/install/entryUnpacker.h"

#include "manager/platform/filePaths.h"
#include "manager/platform/fileSteps.h"
#include "manager/platform/writeAll.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

namespace pluginManager
{
namespace
{
// Large enough that a big binary costs few system calls; a larger one gains nothing measurable.
constexpr size_t bufferSize = 256 << 10;
constexpr mode_t fileMode = 0644;

juce::String nameOnDisk(const juce::ZipFile::ZipEntry& entry)
{
    return entry.filename.replaceCharacter('\\', '/');
}

std::string nameOf(const juce::ZipFile::ZipEntry& entry)
{
    return entry.filename.toStdString();
}

std::string damaged(const juce::ZipFile::ZipEntry& entry, const std::string& why)
{
    return "The entry " + nameOf(entry) + " is damaged: " + why + ".";
}

std::string notWritten(const juce::ZipFile::ZipEntry& entry, int error)
{
    return "The entry " + nameOf(entry) + " could not be written: " + std::strerror(error) + ".";
}

// Whether a link stands on the way from folder down to item, item included: what is written there
// would land wherever the link points.
bool leadsThroughLink(const juce::File& folder, const juce::File& item)
{
    for (auto part = item; part != folder; part = part.getParentDirectory())
        if (part.isSymbolicLink())
            return true;
    return false;
}

// Why no entry of this name may be unpacked; empty when it may. A part made only of dots either
// climbs (".."; no packer writes one that stays inside), or is a name that the framework's folder
// listing skips ("..."): such a file would be left out of the install without a word, and its
// folder could never be removed. The folder itself, named "./" as some packers name the archive's
// top, is no refusal; a file cannot stand in its place.
std::string refusalOfName(const juce::File& folder, const juce::String& name, const juce::File& target)
{
    if (target != folder && !target.isAChildOf(folder))
        return ("Entry " + name + " is outside the target directory").toStdString();
    for (const auto& part : juce::StringArray::fromTokens(name, "/", ""))
        if (part.length() > 1 && part.containsOnly("."))
            return "The entry " + name.toStdString() + " cannot be installed: a part of its name is made only of dots.";
    if (target == folder && !name.endsWithChar('/'))
        return "The entry " + name.toStdString() + " cannot be installed: it names the top of the archive, not a file.";
    return {};
}

std::string throughLink(const juce::File& target)
{
    return "Parent directory leads through symlink for target file: " + pathOf(target);
}

// Makes room for an entry: what stood at its place goes (a link itself, never what it points to),
// and its folders are made, none of it through a link.
std::string prepare(const juce::File& folder, const juce::File& target)
{
    const auto parent = target.getParentDirectory();
    if (leadsThroughLink(folder, parent))
        return throughLink(target);
    if (!target.deleteFile())
        return "Failed to write to target file: " + pathOf(target);
    if (!createFolder(parent))
        return "Failed to create target folder: " + pathOf(parent);
    return {};
}

void setTimes(int fd, const juce::Time& time)
{
    const auto milliseconds = time.toMilliseconds();
    const timespec when{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000};
    const timespec times[2] = {when, when};
    futimens(fd, times);
}
}

EntryUnpacker::EntryUnpacker(juce::ZipFile& zip, std::vector<juce::uint32> crcs, const juce::File& folder)
    : m_zip(zip), m_crcs(std::move(crcs)), m_folder(folder), m_links(ArchiveLinks::of(zip)), m_buffer(bufferSize)
{
}

juce::File EntryUnpacker::placeOf(const juce::ZipFile::ZipEntry& entry, const juce::File& folder)
{
    return folder.getChildFile(nameOnDisk(entry));
}

std::string EntryUnpacker::unpack(int index)
{
    const auto& entry = *m_zip.getEntry(index);
    const auto name = nameOnDisk(entry);
    if (name.isEmpty())
        return {};
    const auto target = placeOf(entry, m_folder);
    if (auto refusal = refusalOfName(m_folder, name, target); !refusal.empty())
        return refusal;
    // The top folder is there already; a link entry of that name is refused as a link.
    if (target == m_folder && !entry.isSymbolicLink)
        return {};
    if (entry.isSymbolicLink)
        return unpackLink(index, target);
    if (name.endsWithChar('/'))
    {
        if (leadsThroughLink(m_folder, target))
            return throughLink(target);
        if (!createFolder(target))
            return "Failed to create target folder: " + pathOf(target) + ": " + std::strerror(errno);
        return {};
    }
    return unpackFile(index, target);
}

std::string EntryUnpacker::unpackLink(int index, const juce::File& target)
{
    // The system makes no link to a longer target, and reading one whole could fill the memory.
    if (m_zip.getEntry(index)->uncompressedSize >= PATH_MAX)
        return "The entry " + nameOf(*m_zip.getEntry(index)) + " is a link to a target longer than the system allows.";
    std::string bytes;
    auto failure = stream(index, [&bytes](const char* data, size_t size) {
        bytes.append(data, size);
        return std::string();
    });
    if (!failure.empty())
        return failure;
    const auto text = juce::String::fromUTF8(bytes.data(), static_cast<int>(bytes.size()));
    failure = m_links.refusalOf(nameOf(*m_zip.getEntry(index)), text.toStdString());
    if (failure.empty())
        failure = prepare(m_folder, target);
    if (failure.empty() && !juce::File::createSymbolicLink(target, text, true))
        failure = "Failed to create symbolic link: " + text.toStdString();
    return failure;
}

std::string EntryUnpacker::unpackFile(int index, const juce::File& target)
{
    auto failure = prepare(m_folder, target);
    if (!failure.empty())
        return failure;
    const auto path = pathOf(target);
    // A new file, never one a link at its place would lead to.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, fileMode);
    if (fd < 0)
        return "Failed to write to target file: " + path;
    const auto& entry = *m_zip.getEntry(index);
    failure = stream(index, [&](const char* data, size_t size) {
        return writeAll(fd, data, size) ? std::string() : notWritten(entry, errno);
    });
    if (failure.empty())
        setTimes(fd, entry.fileTime);
    if (::close(fd) != 0 && failure.empty())
        failure = notWritten(entry, errno);
    // Half a file would pass for the whole one.
    if (!failure.empty())
        ::unlink(path.c_str());
    return failure;
}

std::string EntryUnpacker::stream(int index, const Sink& sink)
{
    const auto& entry = *m_zip.getEntry(index);
    std::unique_ptr<juce::InputStream> in(m_zip.createStreamForEntry(index));
    if (in == nullptr)
        return "Failed to open the zip file for reading";
    const auto declared = entry.uncompressedSize;
    juce::int64 total = 0;
    auto crc = crc32(0, nullptr, 0);
    for (;;)
    {
        // One byte more than is left, so that an entry inflating past its size fails at once
        // rather than after filling the disk.
        const auto wanted = std::min<juce::int64>(static_cast<juce::int64>(m_buffer.size()), declared - total + 1);
        const int got = in->read(m_buffer.data(), static_cast<int>(wanted));
        if (got <= 0)
            break;
        if (total + got > declared)
            return damaged(entry, "it unpacks to more than the " + std::to_string(declared) + " bytes it declares");
        crc = crc32(crc, reinterpret_cast<const Bytef*>(m_buffer.data()), static_cast<uInt>(got));
        auto failure = sink(m_buffer.data(), static_cast<size_t>(got));
        if (!failure.empty())
            return failure;
        total += got;
    }
    if (total != declared)
        return damaged(entry, "it ends after " + std::to_string(total) + " of the " + std::to_string(declared)
                                  + " bytes it declares");
    if (crc != m_crcs[static_cast<size_t>(index)])
        return damaged(entry, "its bytes do not match its checksum");
    return {};
}
}
