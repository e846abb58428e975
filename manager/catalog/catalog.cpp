#include "manager/catalog/catalog.h"

#include "base/filesystem.h"
#include "manager/catalog/serverFolder.h"

#include <algorithm>
#include <iterator>
#include <unordered_set>

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

// The first of equal texts, in the order met.
void addOnce(std::vector<std::string>& list, std::unordered_set<std::string>& seen, const std::string& text)
{
    if (seen.insert(text).second)
        list.push_back(text);
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

const Catalog::ProductBuilds* Catalog::buildsOf(const std::string& product) const
{
    const auto found = m_builds.find(product);
    return found == m_builds.end() ? nullptr : &found->second;
}

const Catalog::FormatBuilds* Catalog::buildsOf(const std::string& product, const std::string& format) const
{
    const ProductBuilds* builds = buildsOf(product);
    if (!builds)
        return nullptr;
    const auto found = builds->byFormat.find(format);
    return found == builds->byFormat.end() ? nullptr : &found->second;
}

const Catalog::Positions* Catalog::buildsOf(const std::string& product, const std::string& format,
                                            const std::string& version) const
{
    const FormatBuilds* builds = buildsOf(product, format);
    if (!builds)
        return nullptr;
    const auto found = builds->byVersion.find(version);
    return found == builds->byVersion.end() ? nullptr : &found->second;
}

void Catalog::indexBuild(size_t position)
{
    const Asset& asset = m_assets[position];
    ProductBuilds& product = m_builds[asset.product];
    product.all.push_back(position);
    FormatBuilds& format = product.byFormat[asset.format];
    format.all.push_back(position);
    format.byVersion[asset.version].push_back(position);
}

const Asset* Catalog::find(const std::string& product, const std::string& format, const std::string& version,
                           const std::string& os, const std::string& arch) const
{
    const Asset* best = nullptr;
    if (const Positions* builds = buildsOf(product, format, version))
        for (const size_t position : *builds)
        {
            const Asset& asset = m_assets[position];
            if (matchesPlatform(asset, os, arch) && (!best || score(asset) < score(*best)))
                best = &asset;
        }
    return best;
}

Channel Catalog::getChannel(const std::string& product, const std::string& format, const std::string& version,
                            const std::string& os, const std::string& arch) const
{
    Channel lowest = Channel::Internal;
    if (const Positions* builds = buildsOf(product, format, version))
        for (const size_t position : *builds)
        {
            const Asset& asset = m_assets[position];
            if (matchesPlatform(asset, os, arch) && asset.channel < lowest)
                lowest = asset.channel;
        }
    return lowest;
}

std::vector<std::string> Catalog::getVersions(const std::string& product, const std::string& format,
                                              const std::string& os, const std::string& arch) const
{
    std::vector<std::string> versions;
    std::unordered_set<std::string> seen;
    if (const FormatBuilds* builds = buildsOf(product, format))
        for (const size_t position : builds->all)
        {
            const Asset& asset = m_assets[position];
            if (matchesPlatform(asset, os, arch))
                addOnce(versions, seen, asset.version);
        }
    // Stable, so that texts counting as the same version ("1.0", "1.00") keep the order they came in.
    std::stable_sort(versions.begin(), versions.end(),
                     [](const std::string& a, const std::string& b) { return compareVersions(a, b) == 1; });
    return versions;
}

std::vector<std::string> Catalog::getFormats(const std::string& product, const std::string& os,
                                             const std::string& arch) const
{
    std::vector<std::string> formats;
    std::unordered_set<std::string> seen;
    if (const ProductBuilds* builds = buildsOf(product))
        for (const size_t position : builds->all)
        {
            const Asset& asset = m_assets[position];
            if (!asset.format.empty() && matchesPlatform(asset, os, arch))
                addOnce(formats, seen, asset.format);
        }
    std::stable_sort(formats.begin(), formats.end(),
                     [](const std::string& a, const std::string& b) { return formatRank(a) < formatRank(b); });
    return formats;
}

std::vector<std::string> Catalog::getVariants(const std::string& product) const
{
    // The names that begin with product lie together in byte order, right after product itself.
    std::vector<std::string> variants;
    for (auto name = m_builds.upper_bound(product); name != m_builds.end() && beginsWith(name->first, product); ++name)
        variants.push_back(name->first);
    return variants;
}

std::string Catalog::fxProductOf(const std::string& product) const
{
    const std::string fx = product + "FX";
    return buildsOf(fx) ? fx : std::string();
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
    const auto isPublic = [this](size_t position) { return m_assets[position].channel == Channel::Public; };
    for (const auto& [buildName, builds] : m_builds)
        if (keyOf(buildName) == key && std::any_of(builds.all.begin(), builds.all.end(), isPublic))
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
    const auto found = m_channelFiles.find({serverFolderName(product), channel});
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
    // The position of the first product of each id.
    std::unordered_map<std::string, size_t> listed;
    for (size_t position = 0; position < m_products.size(); ++position)
        listed.emplace(m_products[position].id, position);
    for (const Product& given : products)
    {
        const auto [entry, isNew] = listed.emplace(given.id, m_products.size());
        if (isNew)
        {
            m_products.push_back(given);
            continue;
        }
        Product& product = m_products[entry->second];
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
    const size_t first = m_assets.size();
    m_assets.insert(m_assets.end(), assets.begin(), assets.end());
    for (size_t position = first; position < m_assets.size(); ++position)
        indexBuild(position);
    resolveDataProducts();
}

void Catalog::setChannelFiles(const std::string& product, Channel channel, std::vector<FileSection> files)
{
    m_channelFiles[{serverFolderName(product), channel}] = std::move(files);
}

void Catalog::clear()
{
    m_assets.clear();
    m_builds.clear();
}

// Once per product name rather than per build: each asks the whole product list.
void Catalog::resolveDataProducts()
{
    for (const auto& [name, builds] : m_builds)
    {
        const std::string dataProduct = dataProductOf(name);
        for (const size_t position : builds.all)
            m_assets[position].dataProduct = dataProduct;
    }
}
}
