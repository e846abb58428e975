#pragma once

#include <string>

namespace pluginManager
{
// The folder name the builds server knows a product by (a product's slug), from a product name or
// slug as the user typed it, or from a whole builds-server address. Also the store key of donator
// logins, which is why it lives with the catalog's model rather than with the sources that fetch.
std::string serverFolderName(const std::string& name);

// Whether folder (a folder name) names a folder below the builds server: it is not empty, and no
// part between its slashes is "." or "..", which the transport resolves before it sends a request
// and which would lead out of the builds folder.
bool isServerFolder(const std::string& folder);

// folder as the path of an address: each part between slashes percent-escaped where it holds a
// byte outside the unreserved set (letters, digits, "-", ".", "_", "~"), so that a name with a
// space, "?", "#" or "%" stays the one folder it names. A name made of those alone is unchanged.
std::string serverFolderPath(const std::string& folder);
}
