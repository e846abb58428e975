#include <gtest/gtest.h>

#include "manager/catalog/catalog.h"

using namespace pluginManager;

namespace
{
using Texts = std::vector<std::string>;

Asset build(const std::string& product, const std::string& format, const std::string& version,
            Channel channel = Channel::Public, const std::string& extension = "zip",
            const std::string& os = "linux", const std::string& arch = "x86_64")
{
    return {product, format, version, os, arch, extension, "", channel, "", ""};
}

Product product(const std::string& id, const std::string& name = "")
{
    return {"", id, name.empty() ? id : name, "", "", "", "", "", 0, {}};
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

TEST(Catalog, FindPrefersTheLowestChannelThenAZipThenTheFirstAdded)
{
    // The builds offered, and the index of the one find should pick (-1: none).
    const std::pair<std::vector<Asset>, int> cases[] = {
        {{build("Synth", "VST3", "1.0", Channel::Public, "deb"), build("Synth", "VST3", "1.0", Channel::Donators),
          build("Synth", "VST3", "1.0")}, 2},
        {{build("Synth", "VST3", "1.0", Channel::Internal), build("Synth", "VST3", "1.0", Channel::Donators, "rpm")},
         1},
        {{build("Synth", "VST3", "1.0"), build("Synth", "VST3", "1.0")}, 0},
        // Only exactly this product, format and version count.
        {{build("SynthFX", "VST3", "1.0"), build("Synth", "CLAP", "1.0"), build("Synth", "VST3", "1.00")}, -1},
    };
    for (const auto& [assets, index] : cases)
    {
        SCOPED_TRACE(index);
        const Catalog catalog = catalogWith(assets);
        const Asset* found = catalog.find("Synth", "VST3", "1.0", "linux", "x86_64");
        EXPECT_EQ(found, index < 0 ? nullptr : &catalog.assets()[size_t(index)]);
        EXPECT_EQ(catalog.getChannel("Synth", "VST3", "1.0", "linux", "x86_64"),
                  found ? found->channel : Channel::Internal);
    }
}

TEST(Catalog, PlatformMatchesOnSystemAndOnProcessorOrUniversal)
{
    // build os, build arch, asked os, asked arch, match
    const std::tuple<const char*, const char*, const char*, const char*, bool> cases[] = {
        {"linux", "x86_64", "linux", "x86_64", true},     {"linux", "aarch64", "linux", "x86_64", false},
        {"linux", "universal", "linux", "aarch64", true}, {"linux", "aarch64", "linux", "universal", true},
        {"macos", "universal", "linux", "universal", false}, {"linux", "X86_64", "linux", "x86_64", false},
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
        build("Synth", "VST3", "1.9"), build("Synth", "CLAP", "1.10", Channel::Donators),
        build("Synth", "Plugin", "1.9", Channel::Internal), build("Synth", "VST3", "1.9", Channel::Internal),
        build("Synth", "", "1.0"), build("Synth", "Standalone", "0.5"), build("Synth", "VST2", "1.10"),
        build("Synth", "VST3", "1.10"), build("Synth", "LV2", "2.0", Channel::Public, "zip", "windows", "x86_64"),
        build("SynthXL", "LV2", "3.0", Channel::Internal, "zip", "windows", "x86_64"), build("SynthFX", "AU", "4.0"),
        build("Sy", "VST3", "5.0"), build("Synth", "VST3", "0.5"),
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
        const Product* found = catalog.findOwningProduct(name);
        EXPECT_EQ(found ? found->name : "", owner) << name;
    }
    EXPECT_EQ(catalog.findProduct("Synth")->name, "first");
    EXPECT_EQ(catalog.findProduct("Synt"), nullptr);

    catalog.setProducts({product(""), product("Synth")});
    EXPECT_EQ(catalog.findOwningProduct("Pad")->id, "");
    EXPECT_EQ(catalog.findOwningProduct("SynthFX")->id, "Synth");
}

TEST(Catalog, EffectVariantUsesItsMainProductsDataFolderAfterEveryMerge)
{
    Catalog catalog;
    const auto dataProducts = [&catalog] {
        std::string text;
        for (const Asset& asset : catalog.assets())
            text += asset.dataProduct + " ";
        return text;
    };
    catalog.addAssets({build("SynthFX", "VST3", "1.0"), build("Synth", "VST3", "1.0")});
    EXPECT_EQ(dataProducts(), "SynthFX Synth ");
    catalog.addProducts({product("Synth"), product("Pad")});
    EXPECT_EQ(dataProducts(), "Synth Synth ");
    catalog.setProducts({});
    EXPECT_EQ(dataProducts(), "SynthFX Synth ");
    catalog.setProducts({product("Synth"), product("Pad")});
    catalog.addAssets({build("SynthFX", "CLAP", "1.0"), build("SynthXL", "VST3", "1.0"),
                       build("SynthFXFX", "VST3", "1.0"), build("OrganFX", "VST3", "1.0")});
    EXPECT_EQ(dataProducts(), "Synth Synth Synth SynthXL SynthFXFX OrganFX ");
    EXPECT_EQ(catalog.dataProductOf("SynthFX"), "Synth");
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
    std::vector<Asset> assets = {build("Synth", "VST3", "9.0", Channel::Donators),
                                 build("Synth", "VST3", "8.0", Channel::Internal)};
    EXPECT_EQ(catalogWith(assets).getNewestPublishedVersion(), "");
    assets.push_back(build("Synth", "VST3", "1.9"));
    assets.push_back(build("Pad", "VST3", "1.10", Channel::Public, "zip", "windows", "x86_64"));
    assets.push_back(build("Synth", "VST3", "1.10.0"));
    EXPECT_EQ(catalogWith(assets).getNewestPublishedVersion(), "1.10"); // the first of equal versions stays
}

TEST(Catalog, AddProductsMergesByIdAndFillsOnlyWhatIsMissing)
{
    Catalog catalog;
    const Product listed{"synth", "Synth", "Listed", "", "", "", "Kestavel", "", 2010,
                         {FileSection{"Presets", {{"https://a/1", "one"}}}}};
    catalog.setProducts({listed, product("Pad"), product("Pad")});

    const Product incoming{"other", "Synth", "Incoming", "text", "x.png", "Synths", "Someone", "Original", 2021,
                           {FileSection{"Skins", {{"https://a/2", ""}}}, FileSection{"Tables", {}}}};
    const Product organ{"", "Organ", "Organ", "", "", "Keys", "", "", 0, {}};
    const Product organAgain{"", "Organ", "Organ", "", "", "", "", "", 1999, {}};
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
    EXPECT_EQ(catalog.products()[3].category, "Keys");
    EXPECT_EQ(catalog.products()[3].year, 1999);
}

TEST(Catalog, AddAssetsAppendsWithoutLookingForDuplicates)
{
    Catalog catalog = catalogWith({build("Synth", "VST3", "1.0"), build("Pad", "CLAP", "2.0")});
    // Handing the catalog its own list must not read from storage that is being grown.
    catalog.addAssets(catalog.assets());
    catalog.addAssets(catalog.assets());
    ASSERT_EQ(catalog.assets().size(), 8u);
    EXPECT_EQ(catalog.assets()[6].product + catalog.assets()[7].product, "SynthPad");
}

TEST(Catalog, ChannelFilesArePerProductAndChannelAndOutliveClear)
{
    Catalog catalog = catalogWith({build("Synth", "VST3", "1.0")}, {"Synth"});
    catalog.setChannelFiles("Synth", Channel::Donators, {FileSection{"Skins", {}}, FileSection{"Tables", {}}});
    catalog.clear();
    EXPECT_TRUE(catalog.assets().empty());
    EXPECT_EQ(catalog.products().size(), 1u);
    const std::vector<FileSection>* donators = catalog.getChannelFiles("Synth", Channel::Donators);
    ASSERT_NE(donators, nullptr);
    EXPECT_EQ(donators->size(), 2u);
    EXPECT_EQ(catalog.getChannelFiles("Synth", Channel::Internal), nullptr);
    EXPECT_EQ(catalog.getChannelFiles("synth", Channel::Donators), nullptr);
}

TEST(ProductOrder, ByManufacturerIgnoringCaseThenByYear)
{
    const auto made = [](const std::string& manufacturer, int32_t year) {
        return Product{"", "", "", "", "", "", manufacturer, "", year, {}};
    };
    // a, b, a sorts first, b sorts first
    const std::tuple<Product, Product, bool, bool> cases[] = {
        {made("Zeta", 0), made("", 1990), true, false},      {made("alpha", 2000), made("Beta", 1990), true, false},
        {made("ACME", 2010), made("acme", 2000), false, true}, {made("acme", 0), made("ACME", 2000), false, true},
        {made("Acme", 2000), made("acme", 2000), false, false}, {made("", 1980), made("", 1990), true, false},
    };
    for (const auto& [a, b, aFirst, bFirst] : cases)
    {
        SCOPED_TRACE(a.manufacturer + std::to_string(a.year) + " vs " + b.manufacturer + std::to_string(b.year));
        EXPECT_EQ(sortsBefore(a, b), aFirst);
        EXPECT_EQ(sortsBefore(b, a), bFirst);
    }
}
