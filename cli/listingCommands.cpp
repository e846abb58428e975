#include "cli/listingCommands.h"

#include "cli/args.h"
#include "manager/http/curlLibrary.h"
#include "manager/platform/filePaths.h"
#include "manager/platform/plainName.h"
#include "manager/pluginManager.h"

#include <algorithm>
#include <iostream>
#include <string>
#include <vector>

namespace pluginManager
{
namespace
{
const char* const noneShown = "<none>";

// A product's id and the build names that extend it (its effect variant), each once, in byte order.
std::vector<std::string> listedNames(const Catalog& catalog)
{
    std::vector<std::string> names;
    for (const Product& product : catalog.products())
    {
        names.push_back(product.id);
        for (const std::string& variant : catalog.getVariants(product.id))
            names.push_back(variant);
    }
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

// Every version this platform can install, each with the best channel that offers it.
int printRows(const PluginManager& manager, const std::string& name, const std::string& os, const std::string& arch)
{
    const Catalog& catalog = manager.catalog;
    int rows = 0;
    for (const std::string& format : catalog.getFormats(name, os, arch))
    {
        const std::string installed = manager.getInstalledVersion(name, format);
        for (const std::string& version : catalog.getVersions(name, format, os, arch))
        {
            const Channel channel = catalog.getChannel(name, format, version, os, arch);
            std::cout << name << '\t' << format << '\t' << version << '\t' << channelToString(channel) << '\t'
                      << installed << '\n';
            ++rows;
        }
    }
    return rows;
}

// A relative folder would be another one for each working folder the program runs in, so it is
// kept as the folder it names now; "~" is the home folder, as the framework reads it. An absolute
// folder is kept as typed.
std::string folderToStore(const std::string& typed)
{
    if (typed == "default")
        return {};
    return typed.front() == '/' ? typed : pathOf(toFile(typed));
}

// Names the login and the command that stores it anew.
std::string refusedLoginWarning(const PluginManager::RefusedLogin& login)
{
    const std::string again = " --user <user> --password <password>";
    if (login.channel == Channel::Internal)
        return "warning: the server refused the internal login; to log in again: vyrpm login internal" + again;
    const std::string folder = withoutControlCharacters(login.folder);
    return "warning: the server refused the donators login for " + folder +
           "; to log in again: vyrpm login donators " + folder + again;
}

// Internal has one login for the whole channel, so only a donator login names its product.
bool readChannelAndProduct(const Args& args, Channel& channel, std::string& product)
{
    if (!parseChannel(args.positionalAt(0), channel))
        return false;
    product = channel == Channel::Donators ? args.positionalAt(1) : std::string();
    return true;
}
}

// Without libcurl every source fails, each in words of its own that do not say why: the reason
// follows the warning once. A login the server no longer takes would otherwise only leave its
// builds out of what is listed.
void refresh(PluginManager& manager)
{
    std::string error;
    std::vector<PluginManager::RefusedLogin> refused;
    if (!manager.refresh(error, &refused))
    {
        std::cerr << "warning: " << error << "\n";
        const std::string reason = CurlLibrary::failure();
        if (!reason.empty())
            std::cerr << reason << "\n";
    }
    for (const PluginManager::RefusedLogin& login : refused)
        std::cerr << refusedLoginWarning(login) << "\n";
}

int list(PluginManager& manager, const Args& args)
{
    refresh(manager);
    const std::string os = PlatformUtils::getCurrentOS();
    const std::string arch = PlatformUtils::getCurrentArch();
    const std::string& filter = args.positionalAt(0);

    int rows = 0;
    for (const std::string& name : listedNames(manager.catalog))
    {
        if (filter.empty() || filter == name)
            rows += printRows(manager, name, os, arch);
    }
    if (rows == 0)
    {
        std::cerr << "Nothing available for " << (filter.empty() ? std::string("this platform") : filter) << "\n";
        return 1;
    }
    return 0;
}

int login(PluginManager& manager, const Args& args)
{
    Channel channel = Channel::Internal;
    std::string product;
    if (!readChannelAndProduct(args, channel, product))
    {
        std::cerr << "login needs a channel: internal or donators\n";
        return 1;
    }
    if (channel == Channel::Donators && product.empty())
    {
        std::cerr << "A donator login needs the product it is for\n";
        return 1;
    }
    const Credentials credentials{args.get("user", ""), args.get("password", "")};
    if (!credentials.isComplete())
    {
        std::cerr << "login needs --user and --password\n";
        return 1;
    }

    std::string error;
    if (!manager.login(channel, product, credentials, error))
    {
        std::cerr << error << "\n";
        return 1;
    }
    std::cout << "Login stored\n";
    return 0;
}

int logout(PluginManager& manager, const Args& args)
{
    Channel channel = Channel::Internal;
    std::string product;
    if (!readChannelAndProduct(args, channel, product))
    {
        std::cerr << "logout needs a channel: internal or donators\n";
        return 1;
    }
    std::string error;
    if (!manager.logout(channel, product, error))
    {
        std::cerr << error << "\n";
        return 1;
    }
    return 0;
}

int teamlogin(PluginManager& manager, const Args& args)
{
    const std::string& word = args.positionalAt(0);
    if (word == "on" || word == "off")
    {
        manager.installPaths.teamLogin = word == "on";
        std::string error;
        if (!manager.installPaths.save(error))
        {
            std::cerr << error << "\n";
            return 1;
        }
    }
    else if (!word.empty())
    {
        std::cerr << "teamlogin takes on or off, or nothing to say which it is\n";
        return 1;
    }
    // Asked for, the switch of this run, which a login given for it turns on; set, what was stored.
    const bool on = word.empty() ? manager.teamLoginInUse() : manager.installPaths.teamLogin;
    std::cout << (on ? "on" : "off") << "\n";
    return 0;
}

int paths(PluginManager& manager, const Args& args)
{
    InstallPaths& installPaths = manager.installPaths;
    const std::string& formatText = args.positionalAt(0);
    if (!formatText.empty())
    {
        const PluginFormat format = PlatformUtils::formatFromString(formatText);
        if (format == PluginFormat::Unknown)
        {
            std::cerr << "Unknown format: " << formatText << "\n";
            return 1;
        }
        const std::string& location = args.positionalAt(1);
        if (location.empty())
        {
            std::cerr << "paths " << formatText << " needs a location, or \"default\"\n";
            return 1;
        }
        if (holdsControlCharacter(location))
        {
            std::cerr << "Could not set the " << formatText
                      << " location: it holds a control character. The setting was left as it was.\n";
            return 1;
        }
        installPaths.set(format, folderToStore(location));
        std::string error;
        if (!installPaths.save(error))
        {
            std::cerr << error << "\n";
            return 1;
        }
    }

    for (const PluginFormat format : InstallPaths::getFormats())
    {
        const std::string folder = installPaths.get(format);
        std::cout << PlatformUtils::formatToString(format) << '\t' << (folder.empty() ? noneShown : folder) << '\t'
                  << (installPaths.isCustom(format) ? "custom" : "default") << '\n';
    }
    return 0;
}
}
