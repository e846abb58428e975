#pragma once

#include <juce_core/juce_core.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace pluginManager
{
// Links inside a build archive: which ones may be unpacked, and which may then be installed.
// Targets are followed as the system would follow them, through the archive's other links.
class ArchiveLinks
{
public:
    // Entry names with their link targets, in archive order; a later entry of the same place
    // replaces an earlier one, as it does on disk.
    using Entries = std::vector<std::pair<std::string, std::string>>;

    explicit ArchiveLinks(const Entries& links);
    // The link entries of zip.
    static ArchiveLinks of(juce::ZipFile& zip);

    // Why the link entry name with this target (its own, whatever its twins say) must not be
    // unpacked; empty when it may.
    std::string refusalOf(const std::string& name, const std::string& target) const;

    // Why the items of the folder root (below the unpacked folder; empty or "." for the folder
    // itself) must not be installed: a link inside one of them leads out of it. Empty when they may.
    std::string refusalWithin(const std::string& root) const;

private:
    using PathParts = std::vector<std::string>;
    struct Link
    {
        std::string name;
        std::string target;
    };

    enum class Resolution
    {
        Inside,
        Outside,
        // More links in a row than the system follows: a link that leads back to itself.
        Loop
    };

    Resolution resolve(PathParts from, const std::string& target, PathParts& resolved) const;

    std::map<std::string, Link> m_byPlace;
};
}
