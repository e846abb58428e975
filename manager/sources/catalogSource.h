#pragma once

#include "manager/catalog/asset.h"
#include "manager/catalog/catalog.h"
#include "manager/logins/credentials.h"

#include <string>
#include <vector>

namespace pluginManager
{
// Reads the catalog's web sources: the product lists, the public builds (our own copy of the
// release lists, else the hosting service's releases API) and the login-protected channel
// folders. Every address comes from urls(). Each fetcher reports failure as a bool and one
// message the user can act on; what the caller passed in stays as it was on failure.
class CatalogSource
{
public:
    CatalogSource() = delete;

    // serverFolderName, beside the addresses built on it. The fetchers of a channel folder
    // (fetchChannelProduct, fetchChannel, fetchChangelog) refuse a name whose folder name
    // isServerFolder refuses before any request, with a message that says why.
    static std::string folderName(const std::string& name);
    // urls().buildsServer + folder name (percent-escaped, serverFolderPath) + "/internal/" or
    // "/donators/"; any channel other than Internal gives the donators folder.
    static std::string channelUrl(const std::string& name, Channel channel);

    static bool fetchPublicProducts(std::vector<Product>& products, std::string& error);
    static bool fetchInternalProducts(const Credentials& login, std::vector<Product>& products, std::string& error);
    // The first product of the channel folder's products.json; false without a message when the
    // file cannot be read or lists no product.
    static bool fetchChannelProduct(const std::string& name, Channel channel, const Credentials& login,
                                    Product& product);

    // Appends the public builds to assets; on failure assets stays as it was.
    static bool fetchPublic(std::vector<Asset>& assets, std::string& error);

    // Replaces assets with the builds the channel folder lists. hasProducts, when given, learns
    // whether the listing mentions "products.json".
    static bool fetchChannel(const std::string& name, Channel channel, const Credentials& login,
                             std::vector<Asset>& assets, std::string& error, bool* hasProducts = nullptr);
    // The channel folder's changelog.txt, with the HTTP client's own error text on failure.
    static bool fetchChangelog(const std::string& name, Channel channel, const Credentials& login,
                               std::string& text, std::string& error);
};
}
