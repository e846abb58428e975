#pragma once

#include "manager/catalog/asset.h"

#include <string>
#include <vector>

namespace pluginManager
{
// Reads the builds of one channel folder from the web server's directory listing page: every
// link whose file name is a release file name, with the time stamp printed after it. The page is
// not otherwise interpreted, so any server's listing style works as long as it quotes its links.
// folderUrl ends with "/"; each build's url is folderUrl + its file name. Never fails.
std::vector<Asset> parseDirectoryIndex(const std::string& page, const std::string& folderUrl, Channel channel);
}
