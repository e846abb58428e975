#include "manager/catalog/serverFolder.h"

#include <juce_core/juce_core.h>

namespace pluginManager
{
namespace
{
const juce::String buildsFolder = "/builds/";
const juce::String donatorsSuffix = "/donators";
const juce::String internalSuffix = "/internal";

bool isUnreserved(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~';
}
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

bool isServerFolder(const std::string& folder)
{
    if (folder.empty())
        return false;
    for (size_t begin = 0;;)
    {
        const size_t end = folder.find('/', begin);
        const std::string part = folder.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
        if (part == "." || part == "..")
            return false;
        if (end == std::string::npos)
            return true;
        begin = end + 1;
    }
}

std::string serverFolderPath(const std::string& folder)
{
    static const char* const hexDigits = "0123456789ABCDEF";
    std::string path;
    for (const char c : folder)
    {
        const auto byte = static_cast<unsigned char>(c);
        if (isUnreserved(byte) || c == '/')
            path += c;
        else
            path += {'%', hexDigits[byte >> 4], hexDigits[byte & 0xF]};
    }
    return path;
}
}
