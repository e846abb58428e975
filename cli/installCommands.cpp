#include "cli/installCommands.h"

#include "cli/args.h"
#include "cli/listingCommands.h"
#include "manager/install/pluginInstaller.h"
#include "manager/platform/plainName.h"
#include "manager/pluginManager.h"

#include <iostream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace pluginManager
{
namespace
{
std::vector<std::string> formatsToInstall(const PluginManager& manager, const Args& args, const std::string& product)
{
    if (args.has("format"))
        return {args.get("format", "")};
    return manager.catalog.getFormats(product, PlatformUtils::getCurrentOS(), PlatformUtils::getCurrentArch());
}

// The version asked for, else the newest this platform has of the format.
const Asset* chooseBuild(const PluginManager& manager, const Args& args, const std::string& product,
                         const std::string& format, std::string& version)
{
    const std::string os = PlatformUtils::getCurrentOS();
    const std::string arch = PlatformUtils::getCurrentArch();
    const std::vector<std::string> versions = manager.catalog.getVersions(product, format, os, arch);
    version = args.has("version") ? args.get("version", "") : versions.empty() ? std::string() : versions.front();
    return manager.catalog.find(product, format, version, os, arch);
}

// The product becomes a file or folder name in the plug-in folders. One that is no plain name
// ("..", "~", a path) would lead out of them, and uninstall would delete what it leads to.
bool isProductName(const std::string& product, const char* command)
{
    if (isPlainName(product))
        return true;
    std::cerr << "Could not " << command << " \"" << withoutControlCharacters(product)
              << "\": a product name is not \".\" or \"..\", does not begin with \"~\" and holds no \"/\", \"\\\" or "
                 "control character. Nothing was changed.\n";
    return false;
}

// The command line installs with the user's own rights only: nothing is left for an elevated run.
// A plug-in whose record could not be saved is installed all the same, and gets its additional
// files, but the run fails so that the user learns the record is missing.
bool installOneFormat(PluginManager& manager, const Args& args, const std::string& product, const std::string& format)
{
    std::string version;
    const Asset* found = chooseBuild(manager, args, product, format, version);
    if (found == nullptr)
    {
        std::cerr << "No build of " << product << " " << format << (version.empty() ? "" : " " + version)
                  << " for this platform\n";
        return false;
    }
    const Asset build = *found;
    const std::string folder = manager.installPathFor(build);
    std::cout << "Installing " << product << " " << format << " " << build.version << " ("
              << channelToString(build.channel) << ") to " << folder << std::endl;

    PluginInstaller installer;
    std::string message;
    // The record names the build's items before the first is put in place, so that an uninstall
    // after a run killed at any moment from then on removes them all.
    std::optional<std::vector<InstalledPlugins::Entry>> earlier;
    const auto recordAhead = [&](const std::vector<std::string>& items) {
        earlier = manager.recordAhead(build, items, folder);
    };
    if (!installer.install(build, manager.credentialsFor(build), folder, {}, message, {}, nullptr, recordAhead))
    {
        std::string ignored;
        if (earlier)
            manager.restoreRecord(std::move(*earlier), ignored);
        std::cerr << message << "\n";
        return false;
    }
    std::string unrecorded;
    const bool recorded = manager.recordInstall(build, *installer.installedItems, unrecorded, folder);
    std::cout << message << "\n";
    if (!recorded)
        std::cerr << unrecorded << "\n";

    std::string filesMessage;
    if (!manager.installAdditionalFiles(build, filesMessage))
    {
        std::cerr << filesMessage << "\n";
        return false;
    }
    if (!filesMessage.empty())
        std::cout << filesMessage << "\n";
    return recorded;
}
}

// A format that fails leaves the others to be tried; what was installed stays installed.
int install(PluginManager& manager, const Args& args)
{
    const std::string& product = args.positionalAt(0);
    if (product.empty())
    {
        std::cerr << "install needs a product\n";
        return 1;
    }
    if (!isProductName(product, "install"))
        return 1;
    refresh(manager);

    const std::vector<std::string> formats = formatsToInstall(manager, args, product);
    if (formats.empty())
    {
        std::cerr << "Nothing available for " << product << " on this platform\n";
        return 1;
    }
    bool failed = false;
    for (const std::string& format : formats)
        failed = !installOneFormat(manager, args, product, format) || failed;
    return failed ? 1 : 0;
}

// Works from the install record and the plug-in folders alone, so it needs no network.
int uninstall(PluginManager& manager, const Args& args)
{
    const std::string& product = args.positionalAt(0);
    if (product.empty())
    {
        std::cerr << "uninstall needs a product\n";
        return 1;
    }
    if (!isProductName(product, "uninstall"))
        return 1;

    // What a killed run left goes first; a recorded install with nothing of it left on disk is then
    // removed by forgetting its record, so that a removal killed half-way is finished by asking
    // for it again.
    std::vector<std::pair<std::string, std::string>> pairs;
    if (args.has("format"))
    {
        manager.clearInterrupted(product, PlatformUtils::formatFromString(args.get("format", "")));
        pairs.emplace_back(product, args.get("format", ""));
    }
    else
    {
        for (const PluginFormat format : InstallPaths::getFormats())
        {
            const std::string text = PlatformUtils::formatToString(format);
            manager.clearInterrupted(product, format);
            if (manager.isInstalled(product, text) || manager.isRecorded(product, text))
                pairs.emplace_back(product, text);
        }
    }
    if (pairs.empty())
    {
        std::cerr << "Nothing of " << product << " is installed here\n";
        return 1;
    }

    std::string error;
    const std::vector<bool> removed = manager.uninstallMany(pairs, error);
    for (size_t i = 0; i < pairs.size(); ++i)
    {
        if (removed[i])
            std::cout << pairs[i].first << " " << pairs[i].second << " removed\n";
    }
    if (!error.empty())
    {
        std::cerr << error << "\n";
        return 1;
    }
    return 0;
}
}
