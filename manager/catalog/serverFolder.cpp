#include "manager/catalog/serverFolder.h"

#include <juce_core/juce_core.h>

namespace pluginManager
{
namespace
{
const juce::String buildsFolder = "/builds/";
const juce::String donatorsSuffix = "/donators";
const juce::String internalSuffix = "/internal";
}

std::string serverFolderName(const std::string& name)
{
    juce::String folder = juce::String::fromUTF8(name.data(), static_cast<int>(name.size())).trim();
    const int builds = folder.lastIndexOfIgnoreCase(buildsFolder);
    if (builds >= 0)
        folder = folder.substring(builds + buildsFolder.length());
    while (folder.startsWithChar('/'))
        folder = folder.substring(1);
    while (folder.endsWithChar('/'))
        folder = folder.dropLastCharacters(1);
    if (folder.endsWithIgnoreCase(donatorsSuffix))
        folder = folder.dropLastCharacters(donatorsSuffix.length());
    if (folder.endsWithIgnoreCase(internalSuffix))
        folder = folder.dropLastCharacters(internalSuffix.length());
    return folder.toLowerCase().toStdString();
}
}
