#include "support/catalogServer.h"

#include "manager/platform/platformUtils.h"
#include "support/testEndpoints.h"

namespace testSupport
{
namespace
{
const char* const releaseName = "v1";

std::string productDocument(const std::vector<std::string>& products)
{
    std::string items;
    for (const std::string& product : products)
        items += (items.empty() ? "" : ", ") + product;
    return R"({"products": [)" + items + "]}";
}
}

std::string CatalogServer::buildName(const std::string& product, const std::string& format, const std::string& version)
{
    return "Kestavel-" + product + (format.empty() ? "" : "-" + format) + "-" + version + "-Linux_" +
           pluginManager::PlatformUtils::getCurrentArch() + ".zip";
}

std::string CatalogServer::productJson(const std::string& id, const std::string& slug, const std::string& extra)
{
    return R"({"id": ")" + id + '"' + (slug.empty() ? "" : R"(, "slug": ")" + slug + '"') + extra + "}";
}

void CatalogServer::publicProducts(const std::vector<std::string>& products)
{
    server.setText(productListPath(), productDocument(products), "application/json");
}

void CatalogServer::publicBuilds(const std::vector<std::string>& fileNames)
{
    std::string files;
    for (const std::string& name : fileNames)
        files += std::string(files.empty() ? "" : ", ") + R"({"name": ")" + name + R"(", "browser_download_url": ")" +
                 server.url("/files/" + name) + R"("})";
    server.setText(publicBuildPaths()[0], std::string("[\"") + releaseName + "\"]", "application/json");
    server.setText(publicBuildPaths()[1],
                   R"({"tag_name": "v1", "published_at": "2024-05-01T10:00:00Z", "assets": [)" + files + "]}",
                   "application/json");
}

void CatalogServer::internalProducts(const std::vector<std::string>& products, const pluginManager::Credentials& login)
{
    server.requireLogin(route(loopbackPath::buildsServer, "internal/"), login.user, login.password);
    server.setText(internalProductsPath(), productDocument(products), "application/json");
}

void CatalogServer::channelFolder(const std::string& slug, pluginManager::Channel channel,
                                  const std::vector<std::string>& fileNames, const pluginManager::Credentials& login,
                                  const std::vector<std::string>& products)
{
    const std::string folder = folderPath(slug, channel);
    std::string page = "<html><body><pre>\n";
    for (const std::string& name : fileNames)
        page += "<a href=\"" + name + "\">" + name + "</a>  2024-05-02 09:00  1\n";
    if (!products.empty())
    {
        page += "<a href=\"products.json\">products.json</a>\n";
        server.setText(folder + "products.json", productDocument(products), "application/json");
    }
    server.requireLogin(folder, login.user, login.password);
    server.setText(folder, page + "</pre></body></html>\n", "text/html");
}

std::string CatalogServer::folderPath(const std::string& slug, pluginManager::Channel channel)
{
    return route(loopbackPath::buildsServer,
                 slug + (channel == pluginManager::Channel::Internal ? "/internal/" : "/donators/"));
}

std::string CatalogServer::productListPath() { return route(loopbackPath::productList); }

std::string CatalogServer::internalProductsPath() { return route(loopbackPath::buildsServer, "internal/products.json"); }

std::vector<std::string> CatalogServer::publicBuildPaths()
{
    return {route(loopbackPath::publicBuilds, "versions.json"),
            route(loopbackPath::publicBuilds, std::string(releaseName) + ".json")};
}

std::vector<std::string> CatalogServer::requestedPaths() const
{
    std::vector<std::string> paths;
    for (const ReceivedRequest& request : server.requests())
        paths.push_back(request.path);
    return paths;
}
}
