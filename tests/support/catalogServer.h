#pragma once

#include "manager/catalog/asset.h"
#include "manager/logins/credentials.h"

#include "support/testServer.h"

#include <string>
#include <vector>

namespace testSupport
{
// A loopback server that plays the catalog's web sources: the public product list, our copy of
// the public release lists, the internal product list and the channel folders of the builds
// server. Every source is missing (404) until it is set.
class CatalogServer
{
public:
    // The release file name of a build for this machine; an empty format is left out of it.
    static std::string buildName(const std::string& product, const std::string& format, const std::string& version);
    // One product list entry; an empty slug leaves the key out.
    static std::string productJson(const std::string& id, const std::string& slug = "", const std::string& extra = "");

    void publicProducts(const std::vector<std::string>& products);
    // One release holding these files.
    void publicBuilds(const std::vector<std::string>& fileNames);
    void internalProducts(const std::vector<std::string>& products, const pluginManager::Credentials& login);
    // A listing of the files behind the login; with products, the folder also holds a products.json
    // listing them.
    void channelFolder(const std::string& slug, pluginManager::Channel channel, const std::vector<std::string>& fileNames,
                       const pluginManager::Credentials& login, const std::vector<std::string>& products = {});

    // The server path of a channel folder, such as "/server/builds/aurora/donators/".
    static std::string folderPath(const std::string& slug, pluginManager::Channel channel);
    static std::string productListPath();
    static std::string internalProductsPath();
    // The paths of our copy of the release lists: versions.json and the one release.
    static std::vector<std::string> publicBuildPaths();
    // The paths requested so far, in order of arrival.
    std::vector<std::string> requestedPaths() const;

    TestServer server;
};
}
