#pragma once

#include <juce_core/juce_core.h>

#include <map>
#include <string>

namespace pluginManager
{
// Links inside a build archive: which ones the unpacker may create.
namespace ArchiveLinks
{
// The target text of every link the archive holds, by the link's own place below the unpacked
// folder.
std::map<std::string, std::string> collect(juce::ZipFile& zip);

// Why an entry must not be unpacked; empty when it may.
std::string refusalOf(const juce::ZipFile::ZipEntry& entry, const std::map<std::string, std::string>& links);
}
}
