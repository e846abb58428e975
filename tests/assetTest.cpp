#include <gtest/gtest.h>

#include "manager/asset.h"

using namespace pluginManager;

namespace
{
struct AcceptedName
{
    std::string name;
    std::string product, format, version, os, arch, extension;
};

const AcceptedName acceptedNames[] = {
    {"Kestavel-Synth-VST3-1.4.2-win64.zip", "Synth", "VST3", "1.4.2", "windows", "x86_64", "zip"},
    {"Kestavel-My-Synth-CLAP-2.0-Linux_aarch64.zip", "My-Synth", "CLAP", "2.0", "linux", "aarch64", "zip"},
    {"Kestavel-Synth-1.0-MacOS.zip", "Synth", "Standalone", "1.0", "macos", "universal", "zip"},
    // Not a format piece: it belongs to the product.
    {"Kestavel-Synth-Beta-1.0-win64.zip", "Synth-Beta", "Standalone", "1.0", "windows", "x86_64", "zip"},
    // With three pieces there is no room for a format piece.
    {"Kestavel-VST3-1.0-win64.zip", "VST3", "Standalone", "1.0", "windows", "x86_64", "zip"},
    // The processor is everything after the first "_".
    {"Kestavel-Synth-1.0-Linux_x86_64.deb", "Synth", "Standalone", "1.0", "linux", "x86_64", "deb"},
    {"Kestavel-SynthFX-LV2-3.1-Linux_x86_64.rpm", "SynthFX", "LV2", "3.1", "linux", "x86_64", "rpm"},
    {"Kestavel-Synth-Standalone-0.9b-Linux_aarch64.zip", "Synth", "Standalone", "0.9b", "linux", "aarch64", "zip"},
    {"Kestavel-Synth-AU-1.0-MacOS.zip", "Synth", "AU", "1.0", "macos", "universal", "zip"},
};

const char* const rejectedNames[] = {
    "Synth-VST3-1.0-win64.zip",          // no prefix
    "kestavel-Synth-VST3-1.0-win64.zip", // prefix in other letter case
    "Kestavel-",
    "Kestavel-Synth-VST3-1.0-win64.ZIP",
    "Kestavel-Synth-VST3-1.0-win64.tar.gz",
    "Kestavel-Synth-VST3-1.0-win64",
    "Kestavel-Synth-VST3-1.0-win64.",
    "Kestavel-1.0-win64.zip",            // two pieces
    "Kestavel-Synth--win64.zip",         // empty version
    "Kestavel-Synth-v1.0-win64.zip",     // version begins with a letter
    "Kestavel--1.0-win64.zip",           // empty product
    "Kestavel--VST3-1.0-win64.zip",      // empty product before a format piece
    "Kestavel-Synth-1.0-Linux.zip",
    "Kestavel-Synth-1.0-Linux_.zip",
    "Kestavel-Synth-1.0-linux_x86_64.zip",
    "Kestavel-Synth-1.0-Win64.zip",
    "Kestavel-Synth-1.0-macos.zip",
    "Kestavel-Synth-1.0-Linux-x86_64.zip",
    // Parts of a build name become file names on this machine.
    "Kestavel-../../Synth-1.0-win64.zip",
    "Kestavel-Synth-1/../../../tmp/x-win64.zip",
    "Kestavel-Synth-1.0-Linux_x86_64/..\\x.zip",
};

Asset filledAsset()
{
    Asset asset;
    asset.product = "product";
    asset.format = "format";
    asset.version = "version";
    asset.os = "os";
    asset.arch = "arch";
    asset.extension = "extension";
    asset.url = "url";
    asset.channel = Channel::Donators;
    asset.date = "date";
    asset.dataProduct = "dataProduct";
    return asset;
}
}

TEST(AssetName, ReadsEachPieceOfAReleaseFileName)
{
    for (const AcceptedName& expected : acceptedNames)
    {
        SCOPED_TRACE(expected.name);
        Asset asset = filledAsset();
        ASSERT_TRUE(parseAssetName(expected.name, asset));
        EXPECT_EQ(asset.product, expected.product);
        EXPECT_EQ(asset.format, expected.format);
        EXPECT_EQ(asset.version, expected.version);
        EXPECT_EQ(asset.os, expected.os);
        EXPECT_EQ(asset.arch, expected.arch);
        EXPECT_EQ(asset.extension, expected.extension);
        // What the source fills stays as the caller set it.
        EXPECT_EQ(asset.url, "url");
        EXPECT_EQ(asset.channel, Channel::Donators);
        EXPECT_EQ(asset.date, "date");
        EXPECT_EQ(asset.dataProduct, "dataProduct");
    }
}

TEST(AssetName, RejectsWhatIsNoReleaseFileNameAndLeavesTheAssetAlone)
{
    for (const char* name : rejectedNames)
    {
        SCOPED_TRACE(name);
        Asset asset = filledAsset();
        EXPECT_FALSE(parseAssetName(name, asset));
        EXPECT_EQ(asset.product, "product");
        EXPECT_EQ(asset.format, "format");
        EXPECT_EQ(asset.version, "version");
        EXPECT_EQ(asset.os, "os");
        EXPECT_EQ(asset.arch, "arch");
        EXPECT_EQ(asset.extension, "extension");
    }
}

TEST(AssetName, NewAssetIsEmptyAndPublic)
{
    const Asset asset;
    EXPECT_TRUE(asset.product.empty());
    EXPECT_TRUE(asset.date.empty());
    EXPECT_EQ(asset.channel, Channel::Public);
}

TEST(ChannelText, NamesEachChannel)
{
    EXPECT_EQ(channelToString(Channel::Public), "public");
    EXPECT_EQ(channelToString(Channel::Donators), "donators");
    EXPECT_EQ(channelToString(Channel::Internal), "internal");
    EXPECT_EQ(channelToString(static_cast<Channel>(7)), "public");
}

TEST(VersionComparison, ComparesPartByPartAsNumbers)
{
    struct Case
    {
        const char* a;
        const char* b;
        int expected;
    };
    const Case cases[] = {
        {"1.10", "1.9", 1},
        {"1.9", "1.10", -1},
        {"1.2", "1.2.0.0", 0},
        {"1.02", "1.2", 0},
        {"2.0rc1", "2.0", 0},
        {"", "0", 0},
        {"1.0", "1.0.1", -1},
        {"1.0.1", "1.0", 1},
        {"1.-1", "1.0", -1},
        {" 3", "3", 0},
        {"beta", "0", 0},
        {"2", "10", -1},
        {"1..2", "1.0.2", 0},
        {"99999999999999999999999", "1", 1},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::string(c.a) + " vs " + c.b);
        EXPECT_EQ(compareVersions(c.a, c.b), c.expected);
    }
}

TEST(InstallDecision, ComparesInstalledWithOffered)
{
    struct Case
    {
        bool available;
        const char* installed;
        const char* offered;
        InstallAction expected;
    };
    const Case cases[] = {
        {false, "1.0", "1.1", InstallAction::NotAvailable},
        {false, "", "", InstallAction::NotAvailable},
        {true, "", "1.1", InstallAction::Install},
        {true, "1.0", "", InstallAction::Install},
        {true, "1.0", "1.1", InstallAction::Update},
        {true, "1.9", "1.10", InstallAction::Update},
        {true, "1.1", "1.0", InstallAction::Downgrade},
        {true, "1.1", "1.1", InstallAction::Install},
        {true, "1.1", "1.1.0", InstallAction::Install},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::string(c.installed) + " -> " + c.offered);
        EXPECT_EQ(decideInstallAction(c.available, c.installed, c.offered), c.expected);
    }
}

TEST(InstallDecision, CombinesWithNotAvailableThenUpdateThenDowngradeWinning)
{
    struct Case
    {
        InstallAction a, b, expected;
    };
    const Case cases[] = {
        {InstallAction::Downgrade, InstallAction::Update, InstallAction::Update},
        {InstallAction::Update, InstallAction::Downgrade, InstallAction::Update},
        {InstallAction::NotAvailable, InstallAction::Update, InstallAction::NotAvailable},
        {InstallAction::Install, InstallAction::NotAvailable, InstallAction::NotAvailable},
        {InstallAction::Install, InstallAction::Downgrade, InstallAction::Downgrade},
        {InstallAction::Update, InstallAction::Install, InstallAction::Update},
        {InstallAction::Install, InstallAction::Install, InstallAction::Install},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::to_string(int(c.a)) + "," + std::to_string(int(c.b)));
        EXPECT_EQ(combineInstallActions(c.a, c.b), c.expected);
    }
}
