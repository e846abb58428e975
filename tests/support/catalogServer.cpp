#include "support/catalogServer.h"

#include "manager/platform/platformUtils.h"
#include "support/testEndpoints.h"

#include <juce_core/juce_core.h>

namespace testSupport
{
const std::string CatalogServer::productList = route(loopbackPath::productList);
const std::string CatalogServer::internalList = route(loopbackPath::buildsServer, "internal/products.json");
const std::string CatalogServer::versionList = route(loopbackPath::publicBuilds, "versions.json");
const std::string CatalogServer::release = route(loopbackPath::publicBuilds, "v1.json");

namespace
{
std::string joined(const std::vector<std::string>& items)
{
    std::string text;
    for (const std::string& item : items)
        text += (text.empty() ? "" : ", ") + item;
    return text;
}

std::string productDocument(const std::vector<std::string>& products)
{
    return R"({"products": [)" + joined(products) + "]}";
}
}

std::string CatalogServer::build(const std::string& product, const std::string& format, const std::string& version)
{
    return "Kestavel-" + product + "-" + format + "-" + version + "-Linux_" +
           pluginManager::PlatformUtils::getCurrentArch() + ".zip";
}

std::string CatalogServer::product(const std::string& id, const std::string& slug, const std::string& extra)
{
    return R"({"id": ")" + id + R"(", "slug": ")" + slug + '"' + extra + "}";
}

std::string CatalogServer::folder(const std::string& slug, pluginManager::Channel channel)
{
    return route(loopbackPath::buildsServer,
                 slug + (channel == pluginManager::Channel::Internal ? "/internal/" : "/donators/"));
}

void CatalogServer::publicProducts(const std::vector<std::string>& products)
{
    server.setText(productList, productDocument(products));
}

void CatalogServer::publicBuilds(const std::vector<std::string>& fileNames) { publicReleases({fileNames}); }

void CatalogServer::publicReleases(const std::vector<std::vector<std::string>>& releases)
{
    std::vector<std::string> names;
    for (const std::vector<std::string>& fileNames : releases)
    {
        std::vector<std::string> files;
        for (const std::string& name : fileNames)
            files.push_back(R"({"name": ")" + name + R"(", "browser_download_url": ")" + server.url(publicFile(name)) +
                            R"("})");
        const std::string name = "v" + std::to_string(names.size() + 1);
        names.push_back('"' + name + '"');
        server.setText(route(loopbackPath::publicBuilds, name + ".json"),
                       R"({"published_at": "2024-05-01T10:00:00Z", "assets": [)" + joined(files) + "]}");
    }
    server.setText(versionList, "[" + joined(names) + "]");
}

void CatalogServer::internalProducts(const std::vector<std::string>& products, const pluginManager::Credentials& login)
{
    server.requireLogin(internalList, login.user, login.password);
    server.setText(internalList, productDocument(products));
}

void CatalogServer::channelFolder(const std::string& slug, pluginManager::Channel channel,
                                  const std::vector<std::string>& fileNames, const pluginManager::Credentials& login,
                                  const std::vector<std::string>& products)
{
    const std::string path = folder(slug, channel);
    std::string page;
    for (const std::string& name : fileNames)
        page += "<a href=\"" + name + "\">" + name + "</a>  2024-05-02 09:00\n";
    if (!products.empty())
    {
        page += "<a href=\"products.json\">products.json</a>\n";
        server.setText(path + "products.json", productDocument(products));
    }
    server.requireLogin(path, login.user, login.password);
    server.setText(path, "<pre>\n" + page + "</pre>\n", "text/html");
}

std::string CatalogServer::zip(const std::vector<std::pair<std::string, std::string>>& files, int level,
                               const std::set<std::string>& links, const std::set<std::string>& executables)
{
    juce::ZipFile::Builder builder;
    for (const auto& [path, content] : files)
        builder.addEntry(new juce::MemoryInputStream(content.data(), content.size(), true), level,
                         juce::String::fromUTF8(path.c_str()), juce::Time::getCurrentTime());
    juce::MemoryOutputStream out;
    builder.writeToStream(out, nullptr);
    std::string bytes(static_cast<const char*>(out.getData()), out.getDataSize());
    // The builder makes links only of links on disk, and gives no file a mode; a link entry is a
    // file entry whose directory record carries the link's mode.
    const auto number = [&bytes](size_t at, int size) {
        size_t value = 0;
        for (int i = size - 1; i >= 0; --i)
            value = value << 8 | static_cast<unsigned char>(bytes[at + static_cast<size_t>(i)]);
        return value;
    };
    const size_t end = bytes.size() - 22;
    for (size_t at = number(end + 16, 4), left = number(end + 10, 2); left > 0; --left)
    {
        const size_t nameLength = number(at + 28, 2);
        if (links.count(bytes.substr(at + 46, nameLength)) != 0)
            bytes.replace(at + 38, 4, std::string("\0\0\xed\xa1", 4));
        if (executables.count(bytes.substr(at + 46, nameLength)) != 0)
            bytes.replace(at + 38, 4, std::string("\0\0\xed\x81", 4));
        at += 46 + nameLength + number(at + 30, 2) + number(at + 32, 2);
    }
    return bytes;
}

std::string CatalogServer::publicFile(const std::string& fileName) { return "/files/" + fileName; }

void CatalogServer::serveFile(const std::string& path, const std::string& bytes, const std::string& lastModified)
{
    Reply reply{200, bytes, "application/octet-stream", {}};
    if (!lastModified.empty())
        reply.headers.emplace_back("Last-Modified", lastModified);
    server.setReply(path, std::move(reply));
}

std::vector<std::string> CatalogServer::requestedPaths() const
{
    std::vector<std::string> paths;
    for (const ReceivedRequest& request : server.requests())
        paths.push_back(request.path);
    return paths;
}
}
