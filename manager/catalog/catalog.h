#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "manager/catalog/asset.h"

namespace pluginManager
{
// A group of additional files of a product, all going below one folder of the product's own.
struct FileSection
{
    struct Download
    {
        std::string url;
        std::string path; // inside the folder; empty when the product list gave a bare URL
    };

    std::string folder;
    std::vector<Download> downloads;
};

struct Product
{
    std::string slug; // folder name on the builds server, empty when there is none
    std::string id;   // build product names are matched against it
    std::string name;
    std::string description;
    std::string thumbnail;
    std::string category;
    std::string manufacturer;
    std::string originalName;
    int32_t year = 0; // 0 when not given
    std::vector<FileSection> files;
};

// True when the build is for this operating system and processor; "universal" on either side
// matches every processor.
bool matchesPlatform(const Asset& asset, const std::string& os, const std::string& arch);

// Orders products by manufacturer (those with one first, letter case ignored), then by year
// (those with one first).
bool sortsBefore(const Product& a, const Product& b);

// Everything the sources offer: the builds of every platform and channel, the products, and the
// additional files a channel folder lists for a product. Every merge keeps each build's
// dataProduct in step with the product list. Pointers handed out stay valid until the next merge.
class Catalog
{
public:
    using ChannelFileMap = std::map<std::pair<std::string, Channel>, std::vector<FileSection>>;

    const std::vector<Asset>& assets() const { return m_assets; }
    const std::vector<Product>& products() const { return m_products; }
    const ChannelFileMap& channelFiles() const { return m_channelFiles; }

    // The best build of exactly this product, format and version for the platform: lowest
    // channel first, a zip before a deb or rpm of the same channel, then the first added.
    const Asset* find(const std::string& product, const std::string& format, const std::string& version,
                      const std::string& os, const std::string& arch) const;
    // The lowest channel offering that build; Channel::Internal when none does.
    Channel getChannel(const std::string& product, const std::string& format, const std::string& version,
                       const std::string& os, const std::string& arch) const;
    // Newest first.
    std::vector<std::string> getVersions(const std::string& product, const std::string& format,
                                         const std::string& os, const std::string& arch) const;
    // In the order VST3, VST2, CLAP, LV2, AU, Standalone, then any other.
    std::vector<std::string> getFormats(const std::string& product, const std::string& os,
                                        const std::string& arch) const;
    // Build product names that extend product, on any platform, in byte order.
    std::vector<std::string> getVariants(const std::string& product) const;
    // product + "FX" when builds of it exist, else empty.
    std::string fxProductOf(const std::string& product) const;

    const Product* findProduct(const std::string& id) const;
    // The product whose id is the longest prefix of name.
    const Product* findOwningProduct(const std::string& name) const;
    // The owning product's id when name is that id followed by "FX", else name itself.
    std::string dataProductOf(const std::string& name) const;
    // True when a public build exists of name's product (its owning product, or name itself).
    bool isPublished(const std::string& name) const;
    std::string getNewestPublishedVersion() const;
    // Channel files are kept by the product's folder name (serverFolderName), so that every
    // spelling of a slug finds the files of its folder.
    const std::vector<FileSection>* getChannelFiles(const std::string& product, Channel channel) const;

    void setProducts(std::vector<Product> products);
    // Merges by id: a product already listed gains the newcomer's files and any of its category,
    // manufacturer, originalName and year it lacks.
    void addProducts(const std::vector<Product>& products);
    void addAssets(const std::vector<Asset>& assets);
    void setChannelFiles(const std::string& product, Channel channel, std::vector<FileSection> files);
    // Forgets the builds only; products and channel files stay.
    void clear();
    void resolveDataProducts();

private:
    // Positions in m_assets, in asset order, of the builds of one product name, by format and by
    // version: a listing asks about every version of every format, and a scan of all builds for
    // each answer made it grow with the square of the builds.
    using Positions = std::vector<size_t>;
    struct FormatBuilds
    {
        Positions all;
        std::unordered_map<std::string, Positions> byVersion;
    };
    struct ProductBuilds
    {
        Positions all;
        std::unordered_map<std::string, FormatBuilds> byFormat;
    };

    std::string keyOf(const std::string& name) const;
    const ProductBuilds* buildsOf(const std::string& product) const;
    const FormatBuilds* buildsOf(const std::string& product, const std::string& format) const;
    const Positions* buildsOf(const std::string& product, const std::string& format, const std::string& version) const;
    void indexBuild(size_t position);

    std::vector<Asset> m_assets;
    std::vector<Product> m_products;
    ChannelFileMap m_channelFiles;
    // By product name in byte order, so that the names extending a name follow it.
    std::map<std::string, ProductBuilds> m_builds;
};
}
