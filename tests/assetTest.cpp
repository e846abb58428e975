#include <gtest/gtest.h>

#include "manager/catalog/asset.h"

using namespace pluginManager;

namespace
{
// Every field, so that a mismatch shows them all.
std::string fields(const Asset& a)
{
    return a.product + "|" + a.format + "|" + a.version + "|" + a.os + "|" + a.arch + "|" + a.extension + "|" + a.url +
           "|" + channelToString(a.channel) + "|" + a.date + "|" + a.dataProduct;
}

const Asset filledAsset{"old", "old", "old", "old", "old", "old", "url", Channel::Donators, "date", "data"};
}

// The product may hold "-": the pieces are counted from the end. What the catalog sources fill
// stays as they set it, and a name that is none of ours leaves the asset alone.
TEST(AssetName, ReadsEachPieceOfAReleaseFileNameAndRejectsWhatIsNone)
{
    const std::pair<const char*, const char*> cases[] = {
        {"Kestavel-Synth-VST3-1.4.2-win64.zip", "Synth|VST3|1.4.2|windows|x86_64|zip"},
        {"Kestavel-My-Synth-CLAP-2.0-Linux_aarch64.zip", "My-Synth|CLAP|2.0|linux|aarch64|zip"},
        {"Kestavel-Synth-Beta-1.0-win64.zip", "Synth-Beta|Standalone|1.0|windows|x86_64|zip"},
        {"Kestavel-VST3-1.0-win64.zip", "VST3|Standalone|1.0|windows|x86_64|zip"},
        {"Kestavel-SynthFX-LV2-3.1b-Linux_x86_64.rpm", "SynthFX|LV2|3.1b|linux|x86_64|rpm"},
        {"Kestavel-Synth-AU-1.0-MacOS.deb", "Synth|AU|1.0|macos|universal|deb"},
        {"Synth-VST3-1.0-win64.zip", ""}, {"kestavel-Synth-VST3-1.0-win64.zip", ""}, {"Kestavel-", ""},
        {"Kestavel-Synth-VST3-1.0-win64.ZIP", ""}, {"Kestavel-Synth-VST3-1.0-win64.tar.gz", ""},
        {"Kestavel-Synth-VST3-1.0-win64", ""}, {"Kestavel-1.0-win64.zip", ""}, {"Kestavel-Synth--win64.zip", ""},
        {"Kestavel-Synth-v1.0-win64.zip", ""}, {"Kestavel--VST3-1.0-win64.zip", ""},
        {"Kestavel-Synth-1.0-Linux.zip", ""}, {"Kestavel-Synth-1.0-Linux_.zip", ""},
        {"Kestavel-Synth-1.0-linux_x86_64.zip", ""}, {"Kestavel-Synth-1.0-Win64.zip", ""},
        {"Kestavel-Synth-1.0-macos.zip", ""},
        // The parts of a build name end up in file names on this machine...
        {"Kestavel-../../Synth-1.0-win64.zip", ""}, {"Kestavel-Synth-1/../../../tmp/x-win64.zip", ""},
        {"Kestavel-Synth-1.0-Linux_x86_64\\..\\x.zip", ""}, {"Kestavel-..-1.0-win64.zip", ""},
        {"Kestavel-.-VST3-1.0-win64.zip", ""}, {"Kestavel-~-1.0-win64.zip", ""},
        // ... and on the user's terminal.
        {"Kestavel-Synth\tVST3\t9.0\n\x1b]0;x\x07Synth-VST3-1.0-win64.zip", ""},
    };
    for (const auto& [name, expected] : cases)
    {
        Asset asset = filledAsset;
        EXPECT_EQ(parseAssetName(name, asset), *expected != '\0') << name;
        EXPECT_EQ(fields(asset), *expected ? std::string(expected) + "|url|donators|date|data" : fields(filledAsset))
            << name;
    }
}

TEST(VersionComparison, ComparesPartByPartAsNumbers)
{
    const std::tuple<const char*, const char*, int> cases[] = {
        {"1.10", "1.9", 1},  {"2.10", "2.9", 1},    {"1.2", "1.2.0.0", 0}, {"1.02", "1.2", 0}, {"2.0rc1", "2.0", 0},
        {"", "0", 0},        {"1.0", "1.0.1", -1},  {"1.-1", "1.0", -1},   {"beta", "0", 0},  {"1..2", "1.0.2", 0},
        {"99999999999999999999", "1", 1},
    };
    for (const auto& [a, b, expected] : cases)
    {
        EXPECT_EQ(compareVersions(a, b), expected) << a << " vs " << b;
        EXPECT_EQ(compareVersions(b, a), -expected) << b << " vs " << a;
    }
}

TEST(InstallDecision, ComparesInstalledWithOfferedAndCombinesWithNotAvailableThenUpdateThenDowngradeWinning)
{
    const std::tuple<bool, const char*, const char*, InstallAction> cases[] = {
        {false, "", "1.1", InstallAction::NotAvailable},    {true, "", "1.1", InstallAction::Install},
        {true, "1.0", "", InstallAction::Install},          {true, "1.0", "1.1", InstallAction::Update},
        {true, "1.1", "1.0", InstallAction::Downgrade},     {true, "1.1", "1.1.0", InstallAction::Install},
    };
    for (const auto& [available, installed, offered, expected] : cases)
        EXPECT_EQ(decideInstallAction(available, installed, offered), expected) << installed << " -> " << offered;

    // Row a, column b, each in the order NotAvailable, Install, Update, Downgrade.
    const char* const combined[] = {"NNNN", "NIUD", "NUUU", "NDUD"};
    for (int a = 0; a < 4; ++a)
        for (int b = 0; b < 4; ++b)
            EXPECT_EQ("NIUD"[int(combineInstallActions(InstallAction(a), InstallAction(b)))], combined[a][b])
                << a << "," << b;
}
