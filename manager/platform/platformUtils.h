#pragma once

#include <string>
#include <vector>

namespace pluginManager
{
// Texts: "VST2", "VST3", "CLAP", "LV2", "AU", "Standalone"; any other value counts as Unknown.
enum class PluginFormat : int
{
    VST2 = 0,
    VST3 = 1,
    CLAP = 2,
    LV2 = 3,
    AU = 4,
    Standalone = 5,
    Unknown = 6
};

// What the rest of the program asks about the machine it runs on. Absence is answered with an
// empty text, an empty list or PluginFormat::Unknown, never with an error.
class PlatformUtils
{
public:
    PlatformUtils() = delete;

    static std::string getCurrentOS();
    // The processor this build targets, spelled as release file names spell it.
    static std::string getCurrentArch();
    static std::vector<PluginFormat> getAvailableFormats();

    static std::string formatToString(PluginFormat format);
    static PluginFormat formatFromString(const std::string& text);

    // No trailing "/"; empty for formats without a folder on this platform.
    static std::string getDefaultPluginPath(PluginFormat format);
    // The default folder followed by the system folders, or the list set for the format.
    static std::vector<std::string> getSearchPaths(PluginFormat format);
    // An empty list removes the replacement for the format.
    static void setSearchPaths(PluginFormat format, std::vector<std::string> paths);

    // The folder given on the command line; empty restores the default. Set before any settings
    // file is touched.
    static void setSettingsFolder(const std::string& folder);
    // The maker's folder, or the command-line folder when set. Ends in "/".
    static std::string settingsFolder();
    static std::string getSettingsPath(const std::string& fileName);
    // A product's data folder and its ROM folder, ending in "/". Nothing is created.
    static std::string dataFolder(const std::string& product);
    static std::string romFolder(const std::string& product);

    static std::string pluginFileName(const std::string& product, PluginFormat format);
    // Empty when the format has no file name or the folder is empty. Does not look at the disk.
    static std::string installedFilePath(const std::string& product, PluginFormat format, const std::string& folder);
    static bool isPluginInstalled(const std::string& product, PluginFormat format, const std::string& folder);
    // The version an installed LV2 bundle declares in its own files; empty for other formats.
    static std::string getInstalledVersion(const std::string& product, PluginFormat format,
                                           const std::string& folder);
};
}
