#include "manager/catalog/asset.h"

#include "manager/platform/plainName.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace pluginManager
{
namespace
{
const std::string namePrefix = "Kestavel-";

// Empty pieces are kept, so that "a--b" still has its three pieces.
std::vector<std::string> split(const std::string& text, char separator)
{
    std::vector<std::string> pieces;
    size_t start = 0;
    for (;;)
    {
        const size_t end = text.find(separator, start);
        if (end == std::string::npos)
        {
            pieces.push_back(text.substr(start));
            return pieces;
        }
        pieces.push_back(text.substr(start, end - start));
        start = end + 1;
    }
}

std::string join(const std::vector<std::string>& pieces, size_t count, char separator)
{
    std::string text;
    for (size_t i = 0; i < count; ++i)
    {
        if (i > 0)
            text += separator;
        text += pieces[i];
    }
    return text;
}

bool isKnownExtension(const std::string& extension)
{
    return extension == "zip" || extension == "deb" || extension == "rpm";
}

bool isFormatPiece(const std::string& piece)
{
    return piece == "VST2" || piece == "VST3" || piece == "CLAP" || piece == "LV2" || piece == "AU" ||
           piece == "Standalone";
}

bool parsePlatform(const std::string& piece, std::string& os, std::string& arch)
{
    if (piece == "win64")
    {
        os = "windows";
        arch = "x86_64";
        return true;
    }
    if (piece == "MacOS")
    {
        os = "macos";
        arch = "universal";
        return true;
    }
    const size_t underscore = piece.find('_');
    if (underscore == std::string::npos || piece.compare(0, underscore, "Linux") != 0 ||
        underscore + 1 == piece.size())
        return false;
    os = "linux";
    arch = piece.substr(underscore + 1);
    return true;
}

long versionPartAt(const std::vector<std::string>& parts, size_t index)
{
    if (index >= parts.size())
        return 0;
    return std::strtol(parts[index].c_str(), nullptr, 10);
}
}

std::string channelToString(Channel channel)
{
    switch (channel)
    {
    case Channel::Donators:
        return "donators";
    case Channel::Internal:
        return "internal";
    case Channel::Public:
        break;
    }
    return "public";
}

bool parseAssetName(const std::string& name, Asset& asset)
{
    if (name.size() <= namePrefix.size() || name.compare(0, namePrefix.size(), namePrefix) != 0)
        return false;
    // The parts of a build name end up in file and folder names (the download, the plug-in, the
    // data folder) and on the user's terminal: a name that is no plain name is none we published.
    if (!isPlainName(name))
        return false;

    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot < namePrefix.size())
        return false;
    const std::string extension = name.substr(dot + 1);
    if (!isKnownExtension(extension))
        return false;

    const std::vector<std::string> pieces = split(name.substr(namePrefix.size(), dot - namePrefix.size()), '-');
    const size_t count = pieces.size();
    if (count < 3)
        return false;

    const std::string& version = pieces[count - 2];
    if (version.empty() || version[0] < '0' || version[0] > '9')
        return false;

    // Pieces are counted from the end, so a product name may itself hold "-".
    std::string format = "Standalone";
    size_t productPieces = count - 2;
    if (count >= 4 && isFormatPiece(pieces[count - 3]))
    {
        format = pieces[count - 3];
        productPieces = count - 3;
    }
    const std::string product = join(pieces, productPieces, '-');
    // "..", say, as a product would put its data folder, and the ROM files moved there, above the
    // maker's folder.
    if (!isPlainName(product))
        return false;

    std::string os, arch;
    if (!parsePlatform(pieces[count - 1], os, arch))
        return false;

    asset.product = product;
    asset.format = format;
    asset.version = version;
    asset.os = os;
    asset.arch = arch;
    asset.extension = extension;
    return true;
}

int compareVersions(const std::string& a, const std::string& b)
{
    const std::vector<std::string> partsA = split(a, '.');
    const std::vector<std::string> partsB = split(b, '.');
    const size_t count = std::max(partsA.size(), partsB.size());
    for (size_t i = 0; i < count; ++i)
    {
        const long numberA = versionPartAt(partsA, i);
        const long numberB = versionPartAt(partsB, i);
        if (numberA != numberB)
            return numberA < numberB ? -1 : 1;
    }
    return 0;
}

InstallAction decideInstallAction(bool available, const std::string& installedVersion,
                                  const std::string& offeredVersion)
{
    if (!available)
        return InstallAction::NotAvailable;
    if (installedVersion.empty() || offeredVersion.empty())
        return InstallAction::Install;
    switch (compareVersions(installedVersion, offeredVersion))
    {
    case -1:
        return InstallAction::Update;
    case 1:
        return InstallAction::Downgrade;
    default:
        return InstallAction::Install;
    }
}

InstallAction combineInstallActions(InstallAction a, InstallAction b)
{
    const auto either = [a, b](InstallAction action) { return a == action || b == action; };
    if (either(InstallAction::NotAvailable))
        return InstallAction::NotAvailable;
    if (either(InstallAction::Update))
        return InstallAction::Update;
    if (either(InstallAction::Downgrade))
        return InstallAction::Downgrade;
    return InstallAction::Install;
}
}
