#include "manager/install/archiveLinks.h"

#include <deque>
#include <memory>
#include <vector>

namespace pluginManager
{
namespace
{
// As many links as the system itself follows in one path before it gives up.
constexpr int linkHopLimit = 40;

using PathParts = std::vector<std::string>;

// The parts of a path as written, "." and ".." included.
PathParts rawParts(const juce::String& path)
{
    PathParts parts;
    for (const auto& part : juce::StringArray::fromTokens(path.replaceCharacter('\\', '/'), "/", ""))
        parts.push_back(part.toStdString());
    return parts;
}

// Where an entry lands below the unpacked folder. The framework refuses entries that climb out,
// so a climb past the top never reaches the disk.
PathParts entryPath(const juce::String& name)
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

// Whether a link, resolved as the system would resolve it inside the unpacked folder, stays
// there. Later steps follow links, so one that leads elsewhere would let a build copy in files
// from anywhere on the machine. Resolving goes through the archive's other links too: with a link
// "A" to ".", a target "A/../.." looks harmless part by part and still climbs out. A chain longer
// than the system follows would not resolve at all and is refused too.
bool staysInside(const PathParts& linkPath, const std::string& target, const std::map<std::string, std::string>& links)
{
    if (isAbsoluteOrEmpty(target))
        return false;
    PathParts resolved(linkPath.begin(), linkPath.end() - 1);
    const auto pendingParts = rawParts(juce::String::fromUTF8(target.c_str()));
    std::deque<std::string> pending(pendingParts.begin(), pendingParts.end());
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
                return false;
            resolved.pop_back();
            continue;
        }
        resolved.push_back(part);
        const auto link = links.find(joined(resolved));
        if (link == links.end())
            continue;
        if (++hops > linkHopLimit || isAbsoluteOrEmpty(link->second))
            return false;
        resolved.pop_back();
        const auto linkParts = rawParts(juce::String::fromUTF8(link->second.c_str()));
        pending.insert(pending.begin(), linkParts.begin(), linkParts.end());
    }
    return true;
}
}

std::map<std::string, std::string> ArchiveLinks::collect(juce::ZipFile& zip)
{
    std::map<std::string, std::string> links;
    for (int i = 0; i < zip.getNumEntries(); ++i)
    {
        const auto* entry = zip.getEntry(i);
        if (!entry->isSymbolicLink)
            continue;
        std::unique_ptr<juce::InputStream> stream(zip.createStreamForEntry(i));
        links[joined(entryPath(entry->filename))] = stream ? stream->readEntireStreamAsString().toStdString() : "";
    }
    return links;
}

std::string ArchiveLinks::refusalOf(const juce::ZipFile::ZipEntry& entry, const std::map<std::string, std::string>& links)
{
    if (!entry.isSymbolicLink)
        return {};
    const auto path = entryPath(entry.filename);
    if (path.empty())
        return {};
    const auto& target = links.at(joined(path));
    if (staysInside(path, target, links))
        return {};
    return "The entry " + entry.filename.toStdString() + " is a link to " + target
           + ", which lies outside the unpacked folder.";
}
}
