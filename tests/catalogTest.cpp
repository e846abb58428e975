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

std::string dataProducts(const Catalog& catalog)
{
    std::string text;
    for (const Asset& asset : catalog.assets())
        text += asset.dataProduct + " ";
    return text;
}
}

TEST(Catalog, FindPrefersTheLowestChannelThenAZipThenTheFirstAddedOnTheAskedPlatform)
{
    const auto on = [](const char* os, const char* arch) {
        return build("Synth", "VST3", "1.0", Channel::Public, "zip", os, arch);
    };
    // The builds offered, and the index of the one find should pick for linux/x86_64 (-1: none).
    const std::pair<std::vector<Asset>, int> cases[] = {
        {{build("Synth", "VST3", "1.0", Channel::Public, "deb"), build("Synth", "VST3", "1.0", Channel::Donators),
          build("Synth", "VST3", "1.0")}, 2},
        {{build("Synth", "VST3", "1.0", Channel::Internal), build("Synth", "VST3", "1.0", Channel::Donators, "rpm")},
         1},
        {{build("Synth", "VST3", "1.0"), build("Synth", "VST3", "1.0")}, 0},
        {{build("SynthFX", "VST3", "1.0"), build("Synth", "CLAP", "1.0"), build("Synth", "VST3", "1.00")}, -1},
        {{on("linux", "aarch64"), on("macos", "universal"), on("linux", "X86_64"), on("linux", "universal")}, 3},
    };
    for (const auto& [assets, index] : cases)
    {
        const Catalog catalog = catalogWith(assets);
        const Asset* found = catalog.find("Synth", "VST3", "1.0", "linux", "x86_64");
        EXPECT_EQ(found, index < 0 ? nullptr : &catalog.assets()[size_t(index)]) << index;
        EXPECT_EQ(catalog.getChannel("Synth", "VST3", "1.0", "linux", "x86_64"),
                  found ? found->channel : Channel::Internal);
    }
    // A universal request takes every processor of its system.
    EXPECT_TRUE(matchesPlatform(on("linux", "aarch64"), "linux", "universal"));
    EXPECT_FALSE(matchesPlatform(on("macos", "universal"), "linux", "universal"));
}

TEST(Catalog, VersionsFormatsAndVariantsOfAProduct)
{
    const auto windows = [](const char* product, const char* format, const char* version) {
        return build(product, format, version, Channel::Public, "zip", "windows", "x86_64");
    };
    const Catalog catalog = catalogWith({
        build("Synth", "VST3", "1.9"), build("Synth", "CLAP", "1.10", Channel::Donators),
        build("Synth", "Plugin", "1.9", Channel::Internal), build("Synth", "VST3", "1.9", Channel::Internal),
        build("Synth", "", "1.0"), build("Synth", "Standalone", "0.5"), build("Synth", "VST2", "1.10"),
        build("Synth", "VST3", "1.10"), windows("Synth", "LV2", "2.0"), windows("Synth", "VST3", "3.0"),
        windows("SynthXL", "LV2", "3.0"), build("SynthFX", "AU", "4.0"), build("Sy", "VST3", "5.0"),
        build("Synth", "VST3", "0.5"),
    });
    EXPECT_EQ(catalog.getVersions("Synth", "VST3", "linux", "x86_64"), (Texts{"1.10", "1.9", "0.5"}));
    EXPECT_EQ(catalog.getFormats("Synth", "linux", "x86_64"),
              (Texts{"VST3", "VST2", "CLAP", "Standalone", "Plugin"}));
    EXPECT_EQ(catalog.getVariants("Synth"), (Texts{"SynthFX", "SynthXL"}));
    EXPECT_EQ(catalog.fxProductOf("Synth") + "|" + catalog.fxProductOf("SynthXL"), "SynthFX|");
}

// The owner is the product with the longest id that begins the name; an effect variant's builds
// use their main product's data folder, after every change of either list.
TEST(Catalog, OwnerAndDataFolderOfEachBuild)
{
    Catalog catalog;
    catalog.setProducts({product("Pad"), product("Synth", "first"), product("SynthX"), product("Synth", "second")});
    const std::pair<const char*, const char*> cases[] = {
        {"SynthXFX", "SynthX"}, {"SynthX", "SynthX"}, {"SynthFX", "first"}, {"Syn", ""}, {"synthFX", ""},
    };
    for (const auto& [name, owner] : cases)
    {
        const Product* found = catalog.findOwningProduct(name);
        EXPECT_EQ(found ? found->name : "", owner) << name;
    }
    EXPECT_EQ(catalog.findProduct("Synth")->name, "first");
    EXPECT_EQ(catalog.findProduct("Synt"), nullptr);

    catalog.setProducts({});
    catalog.addAssets({build("SynthFX", "VST3", "1.0"), build("Synth", "VST3", "1.0")});
    EXPECT_EQ(dataProducts(catalog), "SynthFX Synth ");
    catalog.addProducts({product("Synth"), product("Pad")});
    EXPECT_EQ(dataProducts(catalog), "Synth Synth ");
    catalog.setProducts({});
    EXPECT_EQ(dataProducts(catalog), "SynthFX Synth ");
    catalog.setProducts({product("Synth"), product("Pad")});
    catalog.addAssets({build("SynthXL", "VST3", "1.0"), build("SynthFXFX", "VST3", "1.0")});
    EXPECT_EQ(dataProducts(catalog), "Synth Synth SynthXL SynthFXFX ");
}

// Variants count with their listed product; a public build of the effect variant publishes the
// main product too.
TEST(Catalog, PublishedWhenAPublicBuildOfTheSameProductExists)
{
    const std::vector<Asset> assets = {build("Synth", "VST3", "1.0"), build("Pad", "VST3", "9.0", Channel::Donators)};
    const Catalog listed = catalogWith(assets, {"Synth", "Pad"});
    EXPECT_TRUE(listed.isPublished("SynthFX"));
    EXPECT_FALSE(listed.isPublished("PadFX") || listed.isPublished("Organ"));
    EXPECT_FALSE(catalogWith(assets).isPublished("SynthFX"));
    EXPECT_TRUE(catalogWith({build("SynthFX", "VST3", "1.0")}, {"Synth"}).isPublished("Synth"));
}

// setProducts takes duplicates as they come; addProducts adds none and fills only what is missing.
// Handing the catalog its own lists must not read from storage that is being grown.
TEST(Catalog, AddingMergesProductsByIdAndTakesTheCatalogsOwnLists)
{
    Catalog catalog = catalogWith({build("Synth", "VST3", "1.0"), build("Pad", "CLAP", "2.0")});
    const Product listed{"synth", "Synth", "Listed", "", "", "", "Kestavel", "", 2010,
                         {FileSection{"Presets", {{"https://a/1", "one"}}}}};
    catalog.setProducts({listed, product("Pad"), product("Pad")});
    const Product incoming{"other", "Synth", "Incoming", "text", "x.png", "Synths", "Someone", "Original", 2021,
                           {FileSection{"Skins", {}}}};
    const Product organ{"", "Organ", "Organ", "", "", "Keys", "", "", 0, {}};
    catalog.addProducts({incoming, organ, {"", "Organ", "", "", "", "", "", "", 1999, {}}});
    catalog.addProducts(catalog.products());

    ASSERT_EQ(catalog.products().size(), 4u);
    const Product& synth = catalog.products()[0];
    EXPECT_EQ(synth.name + synth.slug + synth.description + synth.thumbnail + "|" + synth.category +
                  synth.manufacturer + synth.originalName + std::to_string(synth.year),
              "Listedsynth|SynthsKestavelOriginal2010");
    ASSERT_EQ(synth.files.size(), 4u);
    EXPECT_EQ(synth.files[0].folder + synth.files[1].folder + synth.files[3].folder, "PresetsSkinsSkins");
    EXPECT_EQ(catalog.products()[3].category + std::to_string(catalog.products()[3].year), "Keys1999");

    catalog.addAssets(catalog.assets());
    catalog.addAssets(catalog.assets());
    ASSERT_EQ(catalog.assets().size(), 8u);
    EXPECT_EQ(catalog.assets()[6].product + catalog.assets()[7].product, "SynthPad");
}

// The makers ignoring case, each maker's products by year; the unknown come last.
TEST(ProductOrder, ByManufacturerIgnoringCaseThenByYear)
{
    std::vector<Product> products;
    for (const auto& [manufacturer, year] : std::vector<std::pair<std::string, int32_t>>{
             {"", 1990}, {"acme", 0}, {"Zeta", 0}, {"ACME", 2010}, {"", 1980}, {"alpha", 2000}, {"Acme", 2000}})
        products.push_back(Product{"", "", "", "", "", "", manufacturer, "", year, {}});
    std::stable_sort(products.begin(), products.end(), sortsBefore);
    std::string order;
    for (const Product& product : products)
        order += product.manufacturer + std::to_string(product.year) + " ";
    EXPECT_EQ(order, "Acme2000 ACME2010 acme0 alpha2000 Zeta0 1980 1990 ");
}
