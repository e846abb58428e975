#include "manager/platform/platformUtils.h"

#include "base/filesystem.h"
#include "manager/platform/filePaths.h"
#include "manager/platform/plainName.h"

#include <juce_core/juce_core.h>

#include <algorithm>
#include <cstdlib>
#include <map>

#include <sys/stat.h>

namespace pluginManager
{
namespace
{
namespace fs = baseLib::filesystem;

std::string g_settingsFolder;
std::map<PluginFormat, std::vector<std::string>> g_searchPaths;

struct FormatInfo
{
    PluginFormat format;
    const char* text;
    const char* fileSuffix;
    // Below the home folder; empty when the format has no folder here.
    const char* homeFolder;
    const char* systemFolders[2];
};

const FormatInfo formats[] = {
    {PluginFormat::VST2, "VST2", ".so", "/.vst", {"/usr/lib/vst", "/usr/local/lib/vst"}},
    {PluginFormat::VST3, "VST3", ".vst3", "/.vst3", {"/usr/lib/vst3", "/usr/local/lib/vst3"}},
    {PluginFormat::CLAP, "CLAP", ".clap", "/.clap", {"/usr/lib/clap", "/usr/local/lib/clap"}},
    {PluginFormat::LV2, "LV2", ".lv2", "/.lv2", {"/usr/lib/lv2", "/usr/local/lib/lv2"}},
    {PluginFormat::AU, "AU", ".component", "", {nullptr, nullptr}},
    {PluginFormat::Standalone, "Standalone", "", "/.local/bin", {nullptr, nullptr}},
};

// Also answers null for values outside the enumeration, which behave like Unknown.
const FormatInfo* infoFor(PluginFormat format)
{
    for (const FormatInfo& info : formats)
    {
        if (info.format == format)
            return &info;
    }
    return nullptr;
}

std::string userDataFolder() { return fs::getSpecialFolderPath(fs::SpecialFolderType::UserData); }

std::string settingsFilesFolder()
{
    if (!g_settingsFolder.empty())
        return fs::validatePath(g_settingsFolder);
    return fs::validatePath(PlatformUtils::settingsFolder() + "config/");
}

const std::string revisionKey = "doap:revision";

// A FIFO or device in a bundle would hold the read for ever, or never end it.
bool isRegularFile(const juce::File& file)
{
    struct stat info{};
    return stat(file.getFullPathName().toRawUTF8(), &info) == 0 && S_ISREG(info.st_mode);
}

// The quoted value of the first "doap:revision" whose value is not empty and closes on the key's
// own line (a value that only starts on a later line may belong to something else entirely), and
// holds no other control character either.
std::string findRevision(const std::string& text)
{
    for (auto at = text.find(revisionKey); at != std::string::npos;
         at = text.find(revisionKey, at + revisionKey.size()))
    {
        const auto open = text.find('"', at);
        if (open == std::string::npos)
            continue;
        const auto close = text.find('"', open + 1);
        if (close == std::string::npos || close == open + 1)
            continue;
        const std::string value = text.substr(open + 1, close - open - 1);
        // Shown on the user's terminal: a control character could forge a line or command it.
        if (text.find('\n', at) < close || holdsControlCharacter(value))
            continue;
        return value;
    }
    return {};
}
}

std::string PlatformUtils::getCurrentOS() { return "linux"; }

std::string PlatformUtils::getCurrentArch()
{
#if defined(__x86_64__)
    return "x86_64";
#elif defined(__aarch64__)
    return "aarch64";
#else
#error "No release builds are named for this processor"
#endif
}

std::vector<PluginFormat> PlatformUtils::getAvailableFormats()
{
    return {PluginFormat::VST3, PluginFormat::CLAP, PluginFormat::LV2};
}

std::string PlatformUtils::formatToString(PluginFormat format)
{
    const FormatInfo* info = infoFor(format);
    return info ? info->text : "Unknown";
}

PluginFormat PlatformUtils::formatFromString(const std::string& text)
{
    for (const FormatInfo& info : formats)
    {
        if (text == info.text)
            return info.format;
    }
    return PluginFormat::Unknown;
}

std::string PlatformUtils::getDefaultPluginPath(PluginFormat format)
{
    const FormatInfo* info = infoFor(format);
    if (!info || !*info->homeFolder)
        return {};
    const juce::File home = juce::File::getSpecialLocation(juce::File::userHomeDirectory);
    return pathOf(home) + info->homeFolder;
}

std::vector<std::string> PlatformUtils::getSearchPaths(PluginFormat format)
{
    const auto replaced = g_searchPaths.find(format);
    if (replaced != g_searchPaths.end())
        return replaced->second;
    if (format == PluginFormat::Standalone)
        return {};

    std::vector<std::string> paths;
    const std::string defaultPath = getDefaultPluginPath(format);
    if (!defaultPath.empty())
        paths.push_back(defaultPath);
    if (const FormatInfo* info = infoFor(format))
    {
        for (const char* folder : info->systemFolders)
        {
            if (folder && std::find(paths.begin(), paths.end(), folder) == paths.end())
                paths.push_back(folder);
        }
    }
    return paths;
}

void PlatformUtils::setSearchPaths(PluginFormat format, std::vector<std::string> paths)
{
    if (paths.empty())
        g_searchPaths.erase(format);
    else
        g_searchPaths[format] = std::move(paths);
}

void PlatformUtils::setSettingsFolder(const std::string& folder) { g_settingsFolder = folder; }

std::string PlatformUtils::settingsFolder()
{
    if (!g_settingsFolder.empty())
        return fs::validatePath(g_settingsFolder);
    return fs::validatePath(userDataFolder() + "Kestavel/PluginManager/");
}

std::string PlatformUtils::getSettingsPath(const std::string& fileName)
{
    const juce::File file = toFile(settingsFilesFolder()).getChildFile(juce::String::fromUTF8(fileName.c_str()));
    return pathOf(file);
}

std::string PlatformUtils::dataFolder(const std::string& product)
{
    const char* variable = getenv("VYR_DATA_FOLDER");
    const std::string base = variable && *variable ? fs::validatePath(variable) : userDataFolder();
    return fs::validatePath(base + "Kestavel/" + product + "/");
}

std::string PlatformUtils::romFolder(const std::string& product)
{
    return fs::validatePath(dataFolder(product) + "roms/");
}

std::string PlatformUtils::pluginFileName(const std::string& product, PluginFormat format)
{
    const FormatInfo* info = infoFor(format);
    return info ? product + info->fileSuffix : std::string();
}

std::string PlatformUtils::installedFilePath(const std::string& product, PluginFormat format,
                                             const std::string& folder)
{
    const std::string fileName = pluginFileName(product, format);
    if (fileName.empty() || folder.empty())
        return {};
    return pathOf(toFile(folder).getChildFile(juce::String::fromUTF8(fileName.c_str())));
}

bool PlatformUtils::isPluginInstalled(const std::string& product, PluginFormat format, const std::string& folder)
{
    const std::string path = installedFilePath(product, format, folder);
    return !path.empty() && toFile(path).exists();
}

std::string PlatformUtils::getInstalledVersion(const std::string& product, PluginFormat format,
                                               const std::string& folder)
{
    const std::string path = installedFilePath(product, format, folder);
    if (path.empty() || format != PluginFormat::LV2)
        return {};
    const juce::File bundle = toFile(path);
    if (!bundle.isDirectory())
        return {};

    for (const juce::File& ttl : bundle.findChildFiles(juce::File::findFiles, false, "*.ttl"))
    {
        juce::MemoryBlock bytes;
        if (!isRegularFile(ttl) || !ttl.loadFileAsData(bytes) || bytes.getSize() < revisionKey.size())
            continue;
        const std::string version = findRevision(std::string(static_cast<const char*>(bytes.getData()), bytes.getSize()));
        if (!version.empty())
            return version;
    }
    return {};
}
}
