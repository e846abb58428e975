#pragma once

#include "manager/catalog/asset.h"
#include "manager/logins/credentials.h"

#include "support/testServer.h"

#include <set>
#include <string>
#include <utility>
#include <vector>

namespace testSupport
{
// A loopback server playing the catalog's web sources; each answers 404 until it is set.
// Products are product list entries as JSON objects.
struct CatalogServer
{
    // The release file name of a build for this machine.
    static std::string build(const std::string& product, const std::string& format, const std::string& version);
    // extra: more members of the entry, each beginning with ", ".
    static std::string product(const std::string& id, const std::string& slug, const std::string& extra = "");
    // The server path of a channel folder, such as "/server/builds/aurora/donators/".
    static std::string folder(const std::string& slug, pluginManager::Channel channel);

    void publicProducts(const std::vector<std::string>& products);
    // One release of these files, in our copy of the release lists.
    void publicBuilds(const std::vector<std::string>& fileNames);
    // Releases "v1", "v2" and on, each of its files, in our copy of the release lists.
    void publicReleases(const std::vector<std::vector<std::string>>& releases);
    void internalProducts(const std::vector<std::string>& products, const pluginManager::Credentials& login);
    // A listing behind the login; with products, the folder also has a products.json of them.
    void channelFolder(const std::string& slug, pluginManager::Channel channel, const std::vector<std::string>& fileNames,
                       const pluginManager::Credentials& login, const std::vector<std::string>& products = {});
    // A zip archive holding each (path, content) pair as a file; folders are implied by the paths.
    // An entry whose path is among links is a link to its content, one among executables a file of
    // mode 0755. Level 0 stores, 9 deflates.
    static std::string zip(const std::vector<std::pair<std::string, std::string>>& files, int level = 9,
                           const std::set<std::string>& links = {}, const std::set<std::string>& executables = {});
    // Where publicBuilds() says a public build can be downloaded.
    static std::string publicFile(const std::string& fileName);
    // Serves bytes at a path, with a Last-Modified header when lastModified is not empty.
    void serveFile(const std::string& path, const std::string& bytes, const std::string& lastModified = "");

    // The paths requested so far, in order of arrival.
    std::vector<std::string> requestedPaths() const;

    static const std::string productList, internalList, versionList, release;
    TestServer server;
};
}
