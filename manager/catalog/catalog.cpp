#include "manager/catalog/catalog.h"

#include "base/filesystem.h"

#include <algorithm>
#include <iterator>

namespace pluginManager
{
namespace
{
const char* const g_formatOrder[] = {"VST3", "VST2", "CLAP", "LV2", "AU", "Standalone"};

int formatRank(const std::string& format)
{
    const int count = static_cast<int>(std::size(g_formatOrder));
    for (int rank = 0; rank < count; ++rank)
        if (format == g_formatOrder[rank])
            return rank;
    return count;
}

bool beginsWith(const std::string& text, const std::string& prefix)
{
    return prefix.size() <= text.size() && text.compare(0, prefix.size(), prefix) == 0;
}

void addOnce(std::vector<std::string>& list, const std::string& text)
{
    if (std::find(list.begin(), list.end(), text) == list.end())
        list.push_back(text);
}

bool isBuildOf(const Asset& asset, const std::string& product, const std::string& format,
               const std::string& version)
{
    return asset.product == product && asset.format == format && asset.version == version;
}

// A zip installs without a package manager; a deb or rpm from the same channel is the fallback.
int score(const Asset& asset)
{
    return 2 * static_cast<int>(asset.channel) + (asset.extension == "zip" ? 0 : 1);
}
}

bool matchesPlatform(const Asset& asset, const std::string& os, const std::string& arch)
{
    return asset.os == os && (asset.arch == arch || asset.arch == "universal" || arch == "universal");
}

bool sortsBefore(const Product& a, const Product& b)
{
    if (a.manufacturer.empty() != b.manufacturer.empty())
        return b.manufacturer.empty();
    const std::string manufacturerA = baseLib::filesystem::lowercase(a.manufacturer);
    const std::string manufacturerB = baseLib::filesystem::lowercase(b.manufacturer);
    if (manufacturerA != manufacturerB)
        return manufacturerA < manufacturerB;
    if ((a.year == 0) != (b.year == 0))
        return b.year == 0;
    return a.year < b.year;
}

const Asset* Catalog::find(const std::string& product, const std::string& format, const std::string& version,
                           const std::string& os, const std::string& arch) const
{
    const Asset* best = nullptr;
    for (const Asset& asset : m_assets)
    {
        if (!isBuildOf(asset, product, format, version) || !matchesPlatform(asset, os, arch))
            continue;
        if (!best || score(asset) < score(*best))
            best = &asset;
    }
    return best;
}

Channel Catalog::getChannel(const std::string& product, const std::string& format, const std::string& version,
                            const std::string& os, const std::string& arch) const
{
    Channel lowest = Channel::Internal;
    for (const Asset& asset : m_assets)
        if (isBuildOf(asset, product, format, version) && matchesPlatform(asset, os, arch) &&
            asset.channel < lowest)
            lowest = asset.channel;
    return lowest;
}

std::vector<std::string> Catalog::getVersions(const std::string& product, const std::string& format,
                                              const std::string& os, const std::string& arch) const
{
    std::vector<std::string> versions;
    for (const Asset& asset : m_assets)
        if (asset.product == product && asset.format == format && matchesPlatform(asset, os, arch))
            addOnce(versions, asset.version);
    // Stable, so that texts counting as the same version ("1.0", "1.00") keep the order they came in.
    std::stable_sort(versions.begin(), versions.end(),
                     [](const std::string& a, const std::string& b) { return compareVersions(a, b) == 1; });
    return versions;
}

std::vector<std::string> Catalog::getFormats(const std::string& product, const std::string& os,
                                             const std::string& arch) const
{
    std::vector<std::string> formats;
    for (const Asset& asset : m_assets)
        if (asset.product == product && !asset.format.empty() && matchesPlatform(asset, os, arch))
            addOnce(formats, asset.format);
    std::stable_sort(formats.begin(), formats.end(),
                     [](const std::string& a, const std::string& b) { return formatRank(a) < formatRank(b); });
    return formats;
}

std::vector<std::string> Catalog::getVariants(const std::string& product) const
{
    std::vector<std::string> variants;
    for (const Asset& asset : m_assets)
        if (asset.product.size() > product.size() && beginsWith(asset.product, product))
            addOnce(variants, asset.product);
    std::sort(variants.begin(), variants.end());
    return variants;
}

std::string Catalog::fxProductOf(const std::string& product) const
{
    const std::string fx = product + "FX";
    const std::vector<std::string> variants = getVariants(product);
    return std::find(variants.begin(), variants.end(), fx) != variants.end() ? fx : std::string();
}

const Product* Catalog::findProduct(const std::string& id) const
{
    for (const Product& product : m_products)
        if (product.id == id)
            return &product;
    return nullptr;
}

const Product* Catalog::findOwningProduct(const std::string& name) const
{
    const Product* owner = nullptr;
    for (const Product& product : m_products)
        if (beginsWith(name, product.id) && (!owner || product.id.size() > owner->id.size()))
            owner = &product;
    return owner;
}

std::string Catalog::dataProductOf(const std::string& name) const
{
    const Product* owner = findOwningProduct(name);
    if (owner && name == owner->id + "FX")
        return owner->id;
    return name;
}

std::string Catalog::keyOf(const std::string& name) const
{
    const Product* owner = findOwningProduct(name);
    return owner ? owner->id : name;
}

bool Catalog::isPublished(const std::string& name) const
{
    const std::string key = keyOf(name);
    for (const Asset& asset : m_assets)
        if (asset.channel == Channel::Public && keyOf(asset.product) == key)
            return true;
    return false;
}

std::string Catalog::getNewestPublishedVersion() const
{
    std::string newest;
    for (const Asset& asset : m_assets)
        if (asset.channel == Channel::Public && (newest.empty() || compareVersions(asset.version, newest) == 1))
            newest = asset.version;
    return newest;
}

const std::vector<FileSection>* Catalog::getChannelFiles(const std::string& product, Channel channel) const
{
    const auto found = m_channelFiles.find({product, channel});
    return found == m_channelFiles.end() ? nullptr : &found->second;
}

void Catalog::setProducts(std::vector<Product> products)
{
    m_products = std::move(products);
    resolveDataProducts();
}

void Catalog::addProducts(const std::vector<Product>& products)
{
    if (&products == &m_products)
        return addProducts(std::vector<Product>(products));
    for (const Product& given : products)
    {
        const auto listed = std::find_if(m_products.begin(), m_products.end(),
                                         [&given](const Product& product) { return product.id == given.id; });
        if (listed == m_products.end())
        {
            m_products.push_back(given);
            continue;
        }
        Product& product = *listed;
        product.files.insert(product.files.end(), given.files.begin(), given.files.end());
        if (product.category.empty())
            product.category = given.category;
        if (product.manufacturer.empty())
            product.manufacturer = given.manufacturer;
        if (product.originalName.empty())
            product.originalName = given.originalName;
        if (product.year == 0)
            product.year = given.year;
    }
    resolveDataProducts();
}

void Catalog::addAssets(const std::vector<Asset>& assets)
{
    if (&assets == &m_assets)
        return addAssets(std::vector<Asset>(assets));
    m_assets.insert(m_assets.end(), assets.begin(), assets.end());
    resolveDataProducts();
}

void Catalog::setChannelFiles(const std::string& product, Channel channel, std::vector<FileSection> files)
{
    m_channelFiles[{product, channel}] = std::move(files);
}

void Catalog::clear()
{
    m_assets.clear();
}

void Catalog::resolveDataProducts()
{
    for (Asset& asset : m_assets)
        asset.dataProduct = dataProductOf(asset.product);
}
}
