#pragma once

#include <cstdint>
#include <string>

namespace pluginManager
{
// Where a build comes from. A lower value is the better source of the same build.
enum class Channel : uint8_t
{
    Public = 0,   // no login
    Donators = 1, // a login per product folder
    Internal = 2  // one login for the whole channel
};

// "public", "donators" or "internal"; any value outside the three reads as "public".
std::string channelToString(Channel channel);

// What installing a build would do to what is installed.
enum class InstallAction : uint8_t
{
    NotAvailable = 0,
    Install = 1,   // nothing known on one side, or the same version
    Update = 2,    // the installed version is older
    Downgrade = 3  // the installed version is newer
};

// One downloadable build. parseAssetName fills the first six fields from the file name, the
// catalog source that found the build fills url, channel and date, and the catalog dataProduct.
struct Asset
{
    std::string product;
    std::string format;
    std::string version;
    std::string os;
    std::string arch;
    std::string extension;
    std::string url;
    Channel channel = Channel::Public;
    std::string date;        // "YYYY-MM-DD HH:MM", or empty
    std::string dataProduct; // whose data folder the build uses: an effect variant shares its main product's
};

// Reads a release file name, "Kestavel-<product>[-<format>]-<version>-<platform>.<zip|deb|rpm>".
// On success sets product, format, version, os, arch and extension; on failure leaves asset untouched.
bool parseAssetName(const std::string& name, Asset& asset);

// -1 when a is older than b, 1 when newer, 0 when they count as equal.
int compareVersions(const std::string& a, const std::string& b);

InstallAction decideInstallAction(bool available, const std::string& installedVersion,
                                  const std::string& offeredVersion);

// One decision for two, such as two formats of one product.
InstallAction combineInstallActions(InstallAction a, InstallAction b);
}
