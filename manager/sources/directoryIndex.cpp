#include "manager/sources/directoryIndex.h"

#include <set>

namespace pluginManager
{
namespace
{
constexpr const char* g_linkAttribute = "href=";
constexpr size_t g_linkAttributeLength = 5;
constexpr size_t g_dateLength = 16;

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// DDDD-DD-DD DD:DD at position pos.
bool isTimeStampAt(const std::string& page, size_t pos)
{
    static const char* pattern = "DDDD-DD-DD DD:DD";
    for (size_t i = 0; i < g_dateLength; ++i)
    {
        const char c = page[pos + i];
        if (pattern[i] == 'D' ? !isDigit(c) : c != pattern[i])
            return false;
    }
    return true;
}

// The first time stamp that lies wholly between the end of a link and the next link, so that a
// build never takes the date of its neighbour.
std::string dateAfterLink(const std::string& page, size_t windowStart)
{
    size_t windowEnd = page.find(g_linkAttribute, windowStart);
    if (windowEnd == std::string::npos)
        windowEnd = page.size();
    for (size_t pos = windowStart; pos + g_dateLength <= windowEnd; ++pos)
    {
        if (isTimeStampAt(page, pos))
            return page.substr(pos, g_dateLength);
    }
    return {};
}

std::string fileNameOf(const std::string& link)
{
    const size_t slash = link.rfind('/');
    return slash == std::string::npos ? link : link.substr(slash + 1);
}
}

std::vector<Asset> parseDirectoryIndex(const std::string& page, const std::string& folderUrl, Channel channel)
{
    std::vector<Asset> assets;
    std::set<std::string> taken;
    size_t searchFrom = 0;
    for (;;)
    {
        const size_t attribute = page.find(g_linkAttribute, searchFrom);
        if (attribute == std::string::npos)
            break;
        const size_t open = attribute + g_linkAttributeLength;
        if (open >= page.size())
            break;
        const char quote = page[open];
        if (quote != '"' && quote != '\'')
        {
            searchFrom = open;
            continue;
        }
        const size_t close = page.find(quote, open + 1);
        if (close == std::string::npos)
            break;
        searchFrom = close + 1;

        // Escapes stay as the server wrote them: the url must reach the server unchanged.
        const std::string fileName = fileNameOf(page.substr(open + 1, close - open - 1));
        Asset asset;
        if (!parseAssetName(fileName, asset))
            continue;
        // Listings often link a file twice (name and icon, relative and absolute); the first counts.
        if (!taken.insert(fileName).second)
            continue;
        asset.url = folderUrl + fileName;
        asset.channel = channel;
        asset.date = dateAfterLink(page, close + 1);
        assets.push_back(std::move(asset));
    }
    return assets;
}
}
