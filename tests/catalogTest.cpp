#include <gtest/gtest.h>

#include "manager/catalog.h"

using namespace pluginManager;

namespace
{
using Texts = std::vector<std::string>;

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
    asset.url = channelToString(channel) + "." + extension;
    return asset;
}

Product product(const std::string& id, const std::string& name = "")
{
    Product p;
    p.id = id;
    p.name = name.empty() ? id : name;
    return p;
}

Catalog catalogWith(const std::vector<Asset>& assets, const Texts& productIds = {})
{
    Catalog catalog;
    for (const std::string& id : productIds)
        catalog.addProducts({product(id)});
    catalog.addAssets(assets);
    return catalog;
}
}

TEST(Catalog, EmptyCatalogAnswersWithNothing)
{
    const Catalog catalog;
    EXPECT_EQ(catalog.find("Synth", "VST3", "1.0", "linux", "x86_64"), nullptr);
    EXPECT_EQ(catalog.findOwningProduct("Synth"), nullptr);
    EXPECT_EQ(catalog.getChannel("Synth", "VST3", "1.0", "linux", "x86_64"), Channel::Internal);
    EXPECT_TRUE(catalog.getVersions("Synth", "VST3", "linux", "x86_64").empty());
    EXPECT_TRUE(catalog.getFormats("Synth", "linux", "x86_64").empty());
    EXPECT_TRUE(catalog.getVariants("").empty());
    EXPECT_EQ(catalog.getNewestPublishedVersion(), "");
    EXPECT_FALSE(catalog.isPublished("Synth"));
    EXPECT_EQ(catalog.getChannelFiles("Synth", Channel::Donators), nullptr);
}

TEST(Catalog, FindPrefersTheLowestChannelThenAZipThenTheFirstAdded)
{
    Asset second = build("Synth", "VST3", "1.0");
    second.url = "second";
    const std::pair<std::vector<Asset>, std::string> cases[] = {
        {{build("Synth", "VST3", "1.0", Channel::Public, "deb"), build("Synth", "VST3", "1.0", Channel::Donators),
          build("Synth", "VST3", "1.0")},
         "public.zip"},
        {{build("Synth", "VST3", "1.0", Channel::Donators), build("Synth", "VST3", "1.0", Channel::Public, "rpm")},
         "public.rpm"},
        {{build("Synth", "VST3", "1.0", Channel::Internal), build("Synth", "VST3", "1.0", Channel::Donators, "rpm")},
         "donators.rpm"},
        {{build("Synth", "VST3", "1.0"), second}, "public.zip"},
        // Only exactly this product, format, version and platform count.
        {{build("SynthFX", "VST3", "1.0"), build("Synth", "CLAP", "1.0"), build("Synth", "VST3", "1.00"),
          build("Synth", "VST3", "1.0", Channel::Public, "zip", "windows", "x86_64"),
          build("Synth", "VST3", "1.0", Channel::Public, "zip", "linux", "aarch64"),
          build("Synth", "VST3", "1.0", Channel::Internal)},
         "internal.zip"},
        {{build("Synth", "VST3", "1.0", Channel::Public, "zip", "macos", "universal")}, ""},
    };
    for (const auto& [assets, expectedUrl] : cases)
    {
        SCOPED_TRACE(expectedUrl);
        const Catalog catalog = catalogWith(assets);
        const Asset* found = catalog.find("Synth", "VST3", "1.0", "linux", "x86_64");
        const Channel channel = catalog.getChannel("Synth", "VST3", "1.0", "linux", "x86_64");
        if (expectedUrl.empty())
        {
            EXPECT_EQ(found, nullptr);
            EXPECT_EQ(channel, Channel::Internal);
            continue;
        }
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(found->url, expectedUrl);
        EXPECT_EQ(channel, found->channel);
    }
}

TEST(Catalog, PlatformMatchesOnSystemAndOnProcessorOrUniversal)
{
    // build os, build arch, asked os, asked arch, match
    const std::tuple<const char*, const char*, const char*, const char*, bool> cases[] = {
        {"linux", "x86_64", "linux", "x86_64", true},       {"linux", "aarch64", "linux", "x86_64", false},
        {"linux", "universal", "linux", "aarch64", true},   {"linux", "aarch64", "linux", "universal", true},
        {"macos", "universal", "linux", "universal", false}, {"windows", "x86_64", "linux", "x86_64", false},
        {"Linux", "x86_64", "linux", "x86_64", false},      {"linux", "X86_64", "linux", "x86_64", false},
    };
    for (const auto& [assetOs, assetArch, os, arch, expected] : cases)
    {
        SCOPED_TRACE(std::string(assetOs) + "/" + assetArch + " for " + os + "/" + arch);
        const Asset asset = build("Synth", "VST3", "1.0", Channel::Public, "zip", assetOs, assetArch);
        EXPECT_EQ(matchesPlatform(asset, os, arch), expected);
        const Catalog catalog = catalogWith({asset});
        EXPECT_EQ(catalog.find("Synth", "VST3", "1.0", os, arch) != nullptr, expected);
        EXPECT_EQ(catalog.getVersions("Synth", "VST3", os, arch).size(), expected ? 1u : 0u);
        EXPECT_EQ(catalog.getFormats("Synth", os, arch).size(), expected ? 1u : 0u);
    }
}

TEST(Catalog, VersionsFormatsAndVariantsOfAProduct)
{
    const Catalog catalog = catalogWith({
        build("Synth", "VST3", "1.9"),
        build("Synth", "CLAP", "1.10", Channel::Donators),
        build("Synth", "Plugin", "1.9", Channel::Internal),
        build("Synth", "VST3", "1.9", Channel::Internal),
        build("Synth", "", "1.0"),
        build("Synth", "Standalone", "0.5"),
        build("Synth", "VST2", "1.10"),
        build("Synth", "VST3", "1.10"),
        build("Synth", "LV2", "2.0", Channel::Public, "zip", "windows", "x86_64"),
        build("SynthXL", "LV2", "3.0", Channel::Internal, "zip", "windows", "x86_64"),
        build("SynthFX", "AU", "4.0"),
        build("Sy", "VST3", "5.0"),
        build("Synth", "VST3", "0.5"),
    });
    EXPECT_EQ(catalog.getVersions("Synth", "VST3", "linux", "x86_64"), (Texts{"1.10", "1.9", "0.5"}));
    EXPECT_EQ(catalog.getFormats("Synth", "linux", "x86_64"),
              (Texts{"VST3", "VST2", "CLAP", "Standalone", "Plugin"}));
    EXPECT_EQ(catalog.getVariants("Synth"), (Texts{"SynthFX", "SynthXL"}));
    EXPECT_EQ(catalog.fxProductOf("Synth"), "SynthFX");
    EXPECT_EQ(catalog.fxProductOf("SynthXL"), "");
}

TEST(Catalog, OwnerIsTheLongestIdThatPrefixesTheName)
{
    Catalog catalog;
    catalog.setProducts({product("Pad"), product("Synth", "first"), product("SynthX"), product("Synth", "second")});
    const std::pair<const char*, const char*> cases[] = {
        {"SynthXFX", "SynthX"}, {"SynthX", "SynthX"}, {"SynthFX", "first"},
        {"Synth", "first"},     {"Syn", ""},          {"synthFX", ""},
    };
    for (const auto& [name, owner] : cases)
    {
        SCOPED_TRACE(name);
        const Product* found = catalog.findOwningProduct(name);
        EXPECT_EQ(found ? found->name : "", owner);
    }
    EXPECT_EQ(catalog.findProduct("Synth")->name, "first");
    EXPECT_EQ(catalog.findProduct("Synt"), nullptr);

    catalog.setProducts({product(""), product("Synth")});
    EXPECT_EQ(catalog.findOwningProduct("Pad")->id, "");
    EXPECT_EQ(catalog.findOwningProduct("SynthFX")->id, "Synth");
}

TEST(Catalog, EffectVariantUsesItsMainProductsDataFolder)
{
    const Catalog catalog = catalogWith({}, {"Synth", "Pad"});
    const std::pair<const char*, const char*> cases[] = {
        {"SynthFX", "Synth"},       {"SynthXL", "SynthXL"}, {"Synth", "Synth"},
        {"SynthFXFX", "SynthFXFX"}, {"OrganFX", "OrganFX"},
    };
    for (const auto& [name, expected] : cases)
        EXPECT_EQ(catalog.dataProductOf(name), expected) << name;
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
    const Catalog listed = catalogWith(assets, {"Synth", "Pad"});
    EXPECT_TRUE(listed.isPublished("SynthFX"));
    EXPECT_TRUE(listed.isPublished("Synth"));
    EXPECT_FALSE(listed.isPublished("PadFX"));
    EXPECT_FALSE(listed.isPublished("Organ"));

    const Catalog unlisted = catalogWith(assets);
    EXPECT_FALSE(unlisted.isPublished("SynthFX"));
    EXPECT_TRUE(unlisted.isPublished("Synth"));

    // A public build of the effect variant publishes the main product too.
    EXPECT_TRUE(catalogWith({build("SynthFX", "VST3", "1.0")}, {"Synth"}).isPublished("Synth"));
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
    EXPECT_EQ(catalog.getNewestPublishedVersion(), "1.10"); // the first of equal versions stays
}

TEST(Catalog, AddProductsMergesByIdAndFillsOnlyWhatIsMissing)
{
    Catalog catalog;
    Product listed = product("Synth", "Listed");
    listed.slug = "synth";
    listed.manufacturer = "Kestavel";
    listed.year = 2010;
    listed.files = {FileSection{"Presets", {{"https://a/1", "one"}}}};
    catalog.setProducts({listed, product("Pad"), product("Pad")});

    Product incoming = product("Synth", "Incoming");
    incoming.slug = "other";
    incoming.description = "text";
    incoming.thumbnail = "x.png";
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

    // setProducts takes duplicates as they come; addProducts adds none.
    ASSERT_EQ(catalog.products().size(), 4u);
    const Product& synth = catalog.products()[0];
    EXPECT_EQ(synth.name + synth.slug + synth.description + synth.thumbnail, "Listedsynth");
    EXPECT_EQ(synth.category + synth.manufacturer + synth.originalName, "SynthsKestavelOriginal");
    EXPECT_EQ(synth.year, 2010);
    ASSERT_EQ(synth.files.size(), 3u);
    EXPECT_EQ(synth.files[0].folder + synth.files[1].folder + synth.files[2].folder, "PresetsSkinsTables");
    EXPECT_EQ(synth.files[1].downloads[0].url, "https://a/2");
    const Product& addedOrgan = catalog.products()[3];
    EXPECT_EQ(addedOrgan.category, "Keys");
    EXPECT_EQ(addedOrgan.year, 1999);
}

TEST(Catalog, AddAssetsAppendsWithoutLookingForDuplicates)
{
    const std::vector<Asset> assets = {build("Synth", "VST3", "1.0"), build("Pad", "CLAP", "2.0")};
    Catalog catalog;
    catalog.addAssets(assets);
    catalog.addAssets(assets);
    ASSERT_EQ(catalog.assets().size(), 4u);
    EXPECT_EQ(catalog.assets()[2].product + catalog.assets()[3].product, "SynthPad");
    // Handing the catalog its own list must not read from storage that is being grown.
    catalog.addAssets(catalog.assets());
    ASSERT_EQ(catalog.assets().size(), 8u);
    EXPECT_EQ(catalog.assets()[7].product, "Pad");
}

TEST(Catalog, ChannelFilesArePerProductAndChannelAndOutliveClear)
{
    Catalog catalog;
    catalog.setChannelFiles("Synth", Channel::Donators, {FileSection{"Presets", {{"https://a/1", "x"}}}});
    catalog.setChannelFiles("Synth", Channel::Internal, {FileSection{"Beta", {}}});
    catalog.setChannelFiles("Synth", Channel::Donators, {FileSection{"Skins", {}}, FileSection{"Tables", {}}});
    const std::vector<FileSection>* donators = catalog.getChannelFiles("Synth", Channel::Donators);
    ASSERT_NE(donators, nullptr);
    ASSERT_EQ(donators->size(), 2u);
    EXPECT_EQ(donators->front().folder, "Skins");
    EXPECT_NE(catalog.getChannelFiles("Synth", Channel::Internal), nullptr);
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
    // a, b, a sorts first, b sorts first
    const std::tuple<Product, Product, bool, bool> cases[] = {
        {made("Zeta", 0), made("", 1990), true, false},      {made("alpha", 2000), made("Beta", 1990), true, false},
        {made("ACME", 2010), made("acme", 2000), false, true}, {made("acme", 0), made("ACME", 2000), false, true},
        {made("Acme", 2000), made("acme", 2000), false, false}, {made("", 0), made("", 0), false, false},
        {made("", 1980), made("", 1990), true, false},
    };
    for (const auto& [a, b, aFirst, bFirst] : cases)
    {
        SCOPED_TRACE(a.manufacturer + std::to_string(a.year) + " vs " + b.manufacturer + std::to_string(b.year));
        EXPECT_EQ(sortsBefore(a, b), aFirst);
        EXPECT_EQ(sortsBefore(b, a), bFirst);
    }
}
