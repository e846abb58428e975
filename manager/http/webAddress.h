#pragma once

#include "manager/platform/buildSeams.h"

#include <string>

namespace pluginManager
{
// What the HTTP client does with an address. Only http and https addresses go to the network:
// the transport under the framework would also read "file:", "ftp:" and a dozen other schemes.
// A "file:///" address is read from the local disk, but only by a program built with a local
// source, which is what that reading exists for; the answers of such a source may name local
// files as well. In a program whose sources all lie on the web, a "file:///" address can only
// have come from a server's answer, and no server may make the program copy the user's files.
// The rule sits in the client, so an address reaches the disk or the network through nothing
// else, whoever passes it on.
enum class AddressKind
{
    Web,
    LocalFile,
    Refused
};

// The beginning of an address read from the local disk, exactly so.
inline constexpr const char* localAddressPrefix = "file:///";

// localSource: whether the program is built with a local source (builtWithLocalSource below).
AddressKind addressKind(const std::string& url, bool localSource);
}
