#include <gtest/gtest.h>

#include <algorithm>

#include "manager/catalog.h"

using namespace pluginManager;

namespace
{
Asset build(const std::string& product, const std::string& format, const std::string& version,
            Channel channel = Channel::Public, const std::string& extension = "zip",
            const std::string& os = "linux", const std::string& arch = "x86_64")
{
    Asset asset;
    asset.product = product;
    asset.format = format;
    asset.version = version;
    asset.os = os;
    asset.arch = arch;
    asset.extension = extension;
    asset.channel = channel;
    asset.url = product + "-" + format + "-" + version + "-" + channelToString(channel) + "." + extension;
    return asset;
}

Product product(const std::string& id)
{
    Product p;
    p.id = id;
    p.name = id;
    return p;
}

Catalog catalogWith(const std::vector<Asset>& assets, const std::vector<std::string>& productIds = {})
{
    Catalog catalog;
    std::vector<Product> products;
    for (const std::string& id : productIds)
        products.push_back(product(id));
    catalog.setProducts(products);
    catalog.addAssets(assets);
    return catalog;
}

std::vector<std::string> ids(const std::vector<Product>& products)
{
    std::vector<std::string> result;
    for (const Product& p : products)
        result.push_back(p.id);
    return result;
}
}

TEST(Catalog, EmptyCatalogAnswersWithNothing)
{
    const Catalog catalog;
    EXPECT_EQ(catalog.find("Synth", "VST3", "1.0", "linux", "x86_64"), nullptr);
    EXPECT_EQ(catalog.findProduct("Synth"), nullptr);
    EXPECT_EQ(catalog.findOwningProduct("Synth"), nullptr);
    EXPECT_EQ(catalog.getChannel("Synth", "VST3", "1.0", "linux", "x86_64"), Channel::Internal);
    EXPECT_TRUE(catalog.getVersions("Synth", "VST3", "linux", "x86_64").empty());
    EXPECT_TRUE(catalog.getFormats("Synth", "linux", "x86_64").empty());
    EXPECT_TRUE(catalog.getVariants("Synth").empty());
    EXPECT_EQ(catalog.fxProductOf("Synth"), "");
    EXPECT_EQ(catalog.dataProductOf("SynthFX"), "SynthFX");
    EXPECT_EQ(catalog.getNewestPublishedVersion(), "");
    EXPECT_FALSE(catalog.isPublished("Synth"));
    EXPECT_EQ(catalog.getChannelFiles("Synth", Channel::Donators), nullptr);
}

TEST(Catalog, FindPrefersTheLowestChannelThenAZipThenTheFirstAdded)
{
    struct Case
    {
        const char* what;
        std::vector<Asset> assets;
        std::string expectedUrl;
    };
    Asset firstZip = build("Synth", "VST3", "1.0");
    firstZip.url = "first";
    Asset secondZip = build("Synth", "VST3", "1.0");
    secondZip.url = "second";
    const Case cases[] = {
        {"public zip beats public deb and donators zip",
         {build("Synth", "VST3", "1.0", Channel::Public, "deb"), build("Synth", "VST3", "1.0", Channel::Donators),
          build("Synth", "VST3", "1.0")},
         "Synth-VST3-1.0-public.zip"},
        {"public rpm beats donators zip",
         {build("Synth", "VST3", "1.0", Channel::Donators), build("Synth", "VST3", "1.0", Channel::Public, "rpm")},
         "Synth-VST3-1.0-public.rpm"},
        {"donators rpm beats internal zip",
         {build("Synth", "VST3", "1.0", Channel::Internal), build("Synth", "VST3", "1.0", Channel::Donators, "rpm")},
         "Synth-VST3-1.0-donators.rpm"},
        {"equal scores keep the first", {firstZip, secondZip}, "first"},
        {"only exactly this product, format and version",
         {build("SynthFX", "VST3", "1.0"), build("Synth", "CLAP", "1.0"), build("Synth", "VST3", "1.00"),
          build("Synth", "VST3", "1.0", Channel::Internal)},
         "Synth-VST3-1.0-internal.zip"},
        {"a better build for another platform does not count",
         {build("Synth", "VST3", "1.0", Channel::Public, "zip", "windows", "x86_64"),
          build("Synth", "VST3", "1.0", Channel::Public, "zip", "linux", "aarch64"),
          build("Synth", "VST3", "1.0", Channel::Donators)},
         "Synth-VST3-1.0-donators.zip"},
        {"nothing for this platform", {build("Synth", "VST3", "1.0", Channel::Public, "zip", "macos", "universal")},
         ""},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        const Catalog catalog = catalogWith(c.assets);
        const Asset* found = catalog.find("Synth", "VST3", "1.0", "linux", "x86_64");
        if (c.expectedUrl.empty())
        {
            EXPECT_EQ(found, nullptr);
            EXPECT_EQ(catalog.getChannel("Synth", "VST3", "1.0", "linux", "x86_64"), Channel::Internal);
            continue;
        }
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(found->url, c.expectedUrl);
        EXPECT_EQ(catalog.getChannel("Synth", "VST3", "1.0", "linux", "x86_64"), found->channel);
    }
}

TEST(Catalog, PlatformMatchesOnSystemAndOnProcessorOrUniversal)
{
    struct Case
    {
        const char* assetOs;
        const char* assetArch;
        const char* os;
        const char* arch;
        bool expected;
    };
    const Case cases[] = {
        {"linux", "x86_64", "linux", "x86_64", true},
        {"linux", "aarch64", "linux", "x86_64", false},
        {"linux", "universal", "linux", "aarch64", true},
        {"linux", "aarch64", "linux", "universal", true},
        {"macos", "universal", "linux", "universal", false},
        {"windows", "x86_64", "linux", "x86_64", false},
        {"Linux", "x86_64", "linux", "x86_64", false},
        {"linux", "X86_64", "linux", "x86_64", false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::string(c.assetOs) + "/" + c.assetArch + " for " + c.os + "/" + c.arch);
        const Asset asset = build("Synth", "VST3", "1.0", Channel::Public, "zip", c.assetOs, c.assetArch);
        EXPECT_EQ(matchesPlatform(asset, c.os, c.arch), c.expected);
        const Catalog catalog = catalogWith({asset});
        EXPECT_EQ(catalog.find("Synth", "VST3", "1.0", c.os, c.arch) != nullptr, c.expected);
        EXPECT_EQ(catalog.getVersions("Synth", "VST3", c.os, c.arch).size(), c.expected ? 1u : 0u);
        EXPECT_EQ(catalog.getFormats("Synth", c.os, c.arch).size(), c.expected ? 1u : 0u);
    }
}

TEST(Catalog, VersionsAreDistinctAndNewestFirst)
{
    const Catalog catalog = catalogWith({
        build("Synth", "VST3", "1.9"),
        build("Synth", "VST3", "1.10", Channel::Donators),
        build("Synth", "VST3", "1.9", Channel::Internal),
        build("Synth", "VST3", "2.0", Channel::Public, "zip", "windows", "x86_64"),
        build("Synth", "CLAP", "3.0"),
        build("SynthFX", "VST3", "4.0"),
        build("Synth", "VST3", "0.5"),
    });
    EXPECT_EQ(catalog.getVersions("Synth", "VST3", "linux", "x86_64"),
              (std::vector<std::string>{"1.10", "1.9", "0.5"}));
}

TEST(Catalog, FormatsFollowTheFixedOrderWithStrangersLast)
{
    const Catalog catalog = catalogWith({
        build("Synth", "CLAP", "1.0"),
        build("Synth", "Plugin", "1.0"),
        build("Synth", "VST2", "1.0"),
        build("Synth", "", "1.0"),
        build("Synth", "Standalone", "1.0"),
        build("Synth", "VST3", "1.0"),
        build("Synth", "CLAP", "2.0"),
        build("Synth", "LV2", "1.0", Channel::Public, "zip", "macos", "universal"),
        build("SynthFX", "LV2", "1.0"),
    });
    EXPECT_EQ(catalog.getFormats("Synth", "linux", "x86_64"),
              (std::vector<std::string>{"VST3", "VST2", "CLAP", "Standalone", "Plugin"}));
}

TEST(Catalog, VariantsExtendTheProductNameOnAnyPlatform)
{
    const Catalog catalog = catalogWith({
        build("SynthXL", "VST3", "1.0", Channel::Internal, "zip", "windows", "x86_64"),
        build("Synth", "VST3", "1.0"),
        build("SynthFX", "VST3", "1.0"),
        build("SynthFX", "CLAP", "1.0"),
        build("Sy", "VST3", "1.0"),
        build("Pad", "VST3", "1.0"),
    });
    EXPECT_EQ(catalog.getVariants("Synth"), (std::vector<std::string>{"SynthFX", "SynthXL"}));
    EXPECT_EQ(catalog.fxProductOf("Synth"), "SynthFX");
    EXPECT_EQ(catalog.fxProductOf("SynthXL"), "");
    EXPECT_EQ(catalog.fxProductOf("Pad"), "");
}

TEST(Catalog, OwningProductIsTheLongestIdThatPrefixesTheName)
{
    Catalog catalog;
    Product first = product("Synth");
    first.name = "first";
    Product second = product("Synth");
    second.name = "second";
    catalog.setProducts({product("Pad"), first, product("SynthX"), second});

    struct Case
    {
        const char* name;
        const char* expectedOwner; // null: none
    };
    const Case cases[] = {
        {"SynthXFX", "SynthX"}, {"SynthX", "SynthX"}, {"SynthFX", "Synth"},
        {"Synth", "Synth"},     {"Syn", nullptr},     {"synthFX", nullptr},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        const Product* owner = catalog.findOwningProduct(c.name);
        if (!c.expectedOwner)
        {
            EXPECT_EQ(owner, nullptr);
            continue;
        }
        ASSERT_NE(owner, nullptr);
        EXPECT_EQ(owner->id, c.expectedOwner);
    }
    // Of two products with the same id the first counts, for both lookups.
    EXPECT_EQ(catalog.findOwningProduct("SynthFX")->name, "first");
    EXPECT_EQ(catalog.findProduct("Synth")->name, "first");
    EXPECT_EQ(catalog.findProduct("Synt"), nullptr);
}

TEST(Catalog, ProductWithEmptyIdOwnsEveryNameUntilALongerIdDoes)
{
    Catalog catalog;
    catalog.setProducts({product(""), product("Synth")});
    EXPECT_EQ(catalog.findOwningProduct("Pad")->id, "");
    EXPECT_EQ(catalog.findOwningProduct("SynthFX")->id, "Synth");
}

TEST(Catalog, EffectVariantUsesItsMainProductsDataFolder)
{
    const Catalog catalog = catalogWith({}, {"Synth", "Pad"});
    struct Case
    {
        const char* name;
        const char* expected;
    };
    const Case cases[] = {
        {"SynthFX", "Synth"},   {"SynthXL", "SynthXL"}, {"Synth", "Synth"},
        {"SynthFXFX", "SynthFXFX"}, {"Organ", "Organ"}, {"OrganFX", "OrganFX"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(catalog.dataProductOf(c.name), c.expected);
    }
}

TEST(Catalog, EveryMergeKeepsDataProductsInStepWithTheProducts)
{
    Catalog catalog;
    catalog.addAssets({build("SynthFX", "VST3", "1.0"), build("Synth", "VST3", "1.0")});
    EXPECT_EQ(catalog.assets()[0].dataProduct, "SynthFX");
    EXPECT_EQ(catalog.assets()[1].dataProduct, "Synth");

    catalog.addProducts({product("Synth")});
    EXPECT_EQ(catalog.assets()[0].dataProduct, "Synth");

    catalog.setProducts({});
    EXPECT_EQ(catalog.assets()[0].dataProduct, "SynthFX");

    catalog.setProducts({product("Synth")});
    catalog.addAssets({build("SynthFX", "CLAP", "1.0")});
    EXPECT_EQ(catalog.assets()[0].dataProduct, "Synth");
    EXPECT_EQ(catalog.assets()[2].dataProduct, "Synth");
}

TEST(Catalog, PublishedWhenAPublicBuildOfTheSameProductExists)
{
    const std::vector<Asset> assets = {build("Synth", "VST3", "1.0"), build("Pad", "VST3", "1.0", Channel::Donators)};

    const Catalog withProduct = catalogWith(assets, {"Synth", "Pad"});
    EXPECT_TRUE(withProduct.isPublished("SynthFX"));
    EXPECT_TRUE(withProduct.isPublished("Synth"));
    EXPECT_FALSE(withProduct.isPublished("Pad"));
    EXPECT_FALSE(withProduct.isPublished("PadFX"));
    EXPECT_FALSE(withProduct.isPublished("Organ"));

    const Catalog withoutProduct = catalogWith(assets);
    EXPECT_FALSE(withoutProduct.isPublished("SynthFX"));
    EXPECT_TRUE(withoutProduct.isPublished("Synth"));

    // A public build of a variant publishes its main product too.
    const Catalog variantOnly = catalogWith({build("SynthFX", "VST3", "1.0")}, {"Synth"});
    EXPECT_TRUE(variantOnly.isPublished("Synth"));
}

TEST(Catalog, NewestPublishedVersionLooksAtPublicBuildsOnly)
{
    const Catalog catalog = catalogWith({
        build("Synth", "VST3", "1.9"),
        build("Pad", "VST3", "1.10", Channel::Public, "zip", "windows", "x86_64"),
        build("Synth", "VST3", "1.10.0"),
        build("Synth", "VST3", "9.0", Channel::Donators),
        build("Synth", "VST3", "8.0", Channel::Internal),
    });
    // Of versions that count as equal the first stays.
    EXPECT_EQ(catalog.getNewestPublishedVersion(), "1.10");
}

TEST(Catalog, AddProductsMergesByIdAndFillsOnlyWhatIsMissing)
{
    Catalog catalog;
    Product listed = product("Synth");
    listed.name = "Synth listed";
    listed.slug = "synth";
    listed.manufacturer = "Kestavel";
    listed.files = {FileSection{"Presets", {{"https://a/1", "one"}}}};
    catalog.setProducts({listed, product("Pad")});

    Product incoming = product("Synth");
    incoming.name = "Synth incoming";
    incoming.slug = "other";
    incoming.description = "incoming";
    incoming.thumbnail = "incoming.png";
    incoming.category = "Synths";
    incoming.manufacturer = "Someone";
    incoming.originalName = "Original";
    incoming.year = 2021;
    incoming.files = {FileSection{"Skins", {{"https://a/2", ""}}}, FileSection{"Tables", {}}};
    Product organ = product("Organ");
    organ.category = "Keys";
    Product organAgain = product("Organ");
    organAgain.year = 1999;
    catalog.addProducts({incoming, organ, organAgain});

    EXPECT_EQ(ids(catalog.products()), (std::vector<std::string>{"Synth", "Pad", "Organ"}));
    const Product& synth = catalog.products()[0];
    EXPECT_EQ(synth.name, "Synth listed");
    EXPECT_EQ(synth.slug, "synth");
    EXPECT_EQ(synth.description, "");
    EXPECT_EQ(synth.thumbnail, "");
    EXPECT_EQ(synth.category, "Synths");
    EXPECT_EQ(synth.manufacturer, "Kestavel");
    EXPECT_EQ(synth.originalName, "Original");
    EXPECT_EQ(synth.year, 2021);
    ASSERT_EQ(synth.files.size(), 3u);
    EXPECT_EQ(synth.files[0].folder, "Presets");
    EXPECT_EQ(synth.files[1].folder, "Skins");
    EXPECT_EQ(synth.files[1].downloads[0].url, "https://a/2");
    EXPECT_EQ(synth.files[2].folder, "Tables");

    // A product appended earlier in the same call is merged into, not listed twice.
    const Product& added = catalog.products()[2];
    EXPECT_EQ(added.category, "Keys");
    EXPECT_EQ(added.year, 1999);
}

TEST(Catalog, SetProductsTakesItsListAsItComes)
{
    Catalog catalog;
    catalog.setProducts({product("Synth"), product("Synth")});
    EXPECT_EQ(catalog.products().size(), 2u);
    catalog.addProducts({});
    EXPECT_EQ(catalog.products().size(), 2u);
}

TEST(Catalog, AddAssetsAppendsWithoutLookingForDuplicates)
{
    const std::vector<Asset> assets = {build("Synth", "VST3", "1.0"), build("Pad", "CLAP", "2.0")};
    Catalog catalog;
    catalog.addAssets(assets);
    catalog.addAssets(assets);
    ASSERT_EQ(catalog.assets().size(), 4u);
    EXPECT_EQ(catalog.assets()[2].product, "Synth");
    EXPECT_EQ(catalog.assets()[3].product, "Pad");

    // Handing the catalog its own list must not read from storage being grown.
    catalog.addAssets(catalog.assets());
    ASSERT_EQ(catalog.assets().size(), 8u);
    EXPECT_EQ(catalog.assets()[7].product, "Pad");
}

TEST(Catalog, ChannelFilesAreKeptPerProductAndChannel)
{
    Catalog catalog;
    catalog.setChannelFiles("Synth", Channel::Donators, {FileSection{"Presets", {{"https://a/1", "x"}}}});
    catalog.setChannelFiles("Synth", Channel::Internal, {FileSection{"Beta", {}}});
    catalog.setChannelFiles("Synth", Channel::Donators, {FileSection{"Skins", {}}, FileSection{"Tables", {}}});

    const std::vector<FileSection>* donators = catalog.getChannelFiles("Synth", Channel::Donators);
    ASSERT_NE(donators, nullptr);
    ASSERT_EQ(donators->size(), 2u);
    EXPECT_EQ((*donators)[0].folder, "Skins");
    ASSERT_NE(catalog.getChannelFiles("Synth", Channel::Internal), nullptr);
    EXPECT_EQ(catalog.getChannelFiles("Synth", Channel::Public), nullptr);
    EXPECT_EQ(catalog.getChannelFiles("synth", Channel::Donators), nullptr);

    catalog.setProducts({product("Synth")});
    catalog.addAssets({build("Synth", "VST3", "1.0")});
    catalog.clear();
    EXPECT_TRUE(catalog.assets().empty());
    EXPECT_EQ(catalog.products().size(), 1u);
    EXPECT_NE(catalog.getChannelFiles("Synth", Channel::Donators), nullptr);
}

TEST(ProductOrder, ByManufacturerIgnoringCaseThenByYear)
{
    const auto made = [](const std::string& manufacturer, int32_t year) {
        Product p;
        p.manufacturer = manufacturer;
        p.year = year;
        return p;
    };
    struct Case
    {
        Product a, b;
        bool aFirst, bFirst;
    };
    const Case cases[] = {
        {made("Zeta", 0), made("", 1990), true, false},
        {made("alpha", 2000), made("Beta", 1990), true, false},
        {made("ACME", 2010), made("acme", 2000), false, true},
        {made("acme", 0), made("ACME", 2000), false, true},
        {made("Acme", 2000), made("acme", 2000), false, false},
        {made("", 0), made("", 0), false, false},
        {made("", 1980), made("", 1990), true, false},
    };
    for (size_t i = 0; i < std::size(cases); ++i)
    {
        SCOPED_TRACE(i);
        EXPECT_EQ(sortsBefore(cases[i].a, cases[i].b), cases[i].aFirst);
        EXPECT_EQ(sortsBefore(cases[i].b, cases[i].a), cases[i].bFirst);
    }
}
