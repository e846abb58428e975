#include "manager/install/archiveLinks.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <deque>
#include <memory>

namespace pluginManager
{
namespace
{
// As many links as the system itself follows in one path before it gives up.
constexpr int linkHopLimit = 40;

using PathParts = std::vector<std::string>;

// The parts of a path as written, "." and ".." included.
PathParts rawParts(const std::string& path)
{
    PathParts parts;
    for (const auto& part :
         juce::StringArray::fromTokens(juce::String::fromUTF8(path.c_str()).replaceCharacter('\\', '/'), "/", ""))
        parts.push_back(part.toStdString());
    return parts;
}

// Where an entry lands below the unpacked folder. The unpacker refuses entries that climb out, so
// a climb past the top never reaches the disk.
PathParts entryPath(const std::string& name)
{
    PathParts parts;
    for (const auto& part : rawParts(name))
    {
        if (part == "..")
        {
            if (!parts.empty())
                parts.pop_back();
        }
        else if (!part.empty() && part != ".")
        {
            parts.push_back(part);
        }
    }
    return parts;
}

std::string joined(const PathParts& parts)
{
    std::string path;
    for (const auto& part : parts)
        path += (path.empty() ? "" : "/") + part;
    return path;
}

bool isAbsoluteOrEmpty(const std::string& target)
{
    return target.empty() || target.front() == '/';
}

bool isFolderName(const std::string& name)
{
    return !name.empty() && (name.back() == '/' || name.back() == '\\');
}

std::string loopOf(const std::string& name, const std::string& target)
{
    return "The entry " + name + " is a link to " + target + ", which leads round a loop of links to no file.";
}

bool startsWith(const PathParts& path, const PathParts& prefix)
{
    return path.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), path.begin());
}
}

ArchiveLinks::ArchiveLinks(const Entries& links)
{
    // The unpacker refuses a link entry named as a folder, so it never stands on disk.
    for (const auto& [name, target] : links)
        if (!isFolderName(name) && !entryPath(name).empty())
            m_byPlace[joined(entryPath(name))] = {name, target};
}

ArchiveLinks ArchiveLinks::of(juce::ZipFile& zip)
{
    Entries links;
    for (int i = 0; i < zip.getNumEntries(); ++i)
    {
        const auto* entry = zip.getEntry(i);
        if (!entry->isSymbolicLink)
            continue;
        juce::MemoryBlock target;
        std::unique_ptr<juce::InputStream> stream(zip.createStreamForEntry(i));
        // A longer target could not be made a link, and the unpacker refuses it.
        if (stream)
            stream->readIntoMemoryBlock(target, PATH_MAX);
        links.emplace_back(entry->filename.toStdString(),
                           juce::String::fromUTF8(static_cast<const char*>(target.getData()),
                                                  static_cast<int>(target.getSize()))
                               .toStdString());
    }
    return ArchiveLinks(links);
}

// Resolving goes through the archive's other links too: with a link "A" to ".", a target
// "A/../.." looks harmless part by part and still climbs out. A chain longer than the system
// follows would not resolve at all, and an absolute target leads wherever the machine says.
ArchiveLinks::Resolution ArchiveLinks::resolve(PathParts from, const std::string& target, PathParts& resolved) const
{
    if (isAbsoluteOrEmpty(target))
        return Resolution::Outside;
    const auto targetParts = rawParts(target);
    std::deque<std::string> pending(targetParts.begin(), targetParts.end());
    resolved = std::move(from);
    int hops = 0;
    while (!pending.empty())
    {
        const auto part = pending.front();
        pending.pop_front();
        if (part.empty() || part == ".")
            continue;
        if (part == "..")
        {
            if (resolved.empty())
                return Resolution::Outside;
            resolved.pop_back();
            continue;
        }
        resolved.push_back(part);
        const auto link = m_byPlace.find(joined(resolved));
        if (link == m_byPlace.end())
            continue;
        if (++hops > linkHopLimit)
            return Resolution::Loop;
        if (isAbsoluteOrEmpty(link->second.target))
            return Resolution::Outside;
        resolved.pop_back();
        const auto linkParts = rawParts(link->second.target);
        pending.insert(pending.begin(), linkParts.begin(), linkParts.end());
    }
    return Resolution::Inside;
}

// Later steps follow links, so one that leads out of the unpacked folder would let a build copy
// in files from anywhere on the machine.
std::string ArchiveLinks::refusalOf(const std::string& name, const std::string& target) const
{
    // The reader makes a folder of such an entry, while its target says where it would lead.
    if (isFolderName(name))
        return "The entry " + name + " is marked both as a folder and as a link.";
    const auto place = entryPath(name);
    if (place.empty())
        return {};
    PathParts resolved;
    switch (resolve({place.begin(), place.end() - 1}, target, resolved))
    {
        case Resolution::Inside:
            return {};
        case Resolution::Loop:
            return loopOf(name, target);
        case Resolution::Outside:
            break;
    }
    return "The entry " + name + " is a link to " + target + ", which lies outside the unpacked folder.";
}

// Only the root's items are installed, each beside whatever the install folder already holds. A
// link that leaves its item leads to the neighbours or above once installed, and the next update
// or uninstall would take what it finds there for the plug-in's own files.
std::string ArchiveLinks::refusalWithin(const std::string& root) const
{
    PathParts top;
    if (resolve({}, root, top) != Resolution::Inside)
        top = entryPath(root);
    for (const auto& [place, link] : m_byPlace)
    {
        const auto parts = entryPath(place);
        if (parts.size() <= top.size() || !startsWith(parts, top))
            continue;
        const PathParts item(parts.begin(), parts.begin() + static_cast<std::ptrdiff_t>(top.size() + 1));
        PathParts resolved;
        // A link that is an item itself never resolves inside itself, so it is refused too.
        const auto resolution = resolve({parts.begin(), parts.end() - 1}, link.target, resolved);
        if (resolution == Resolution::Inside && startsWith(resolved, item))
            continue;
        if (resolution == Resolution::Loop)
            return loopOf(link.name, link.target);
        return "The entry " + link.name + " is a link to " + link.target + ", which leads out of " + item.back() + ".";
    }
    return {};
}
}
