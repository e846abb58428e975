#pragma once

#include <string>

namespace pluginManager
{
// The folder name the builds server knows a product by (a product's slug), from a product name or
// slug as the user typed it, or from a whole builds-server address. Also the store key of donator
// logins, which is why it lives with the catalog's model rather than with the sources that fetch.
std::string serverFolderName(const std::string& name);
}
