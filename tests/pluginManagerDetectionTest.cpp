// Finding installs on real folder trees and choosing the folder of the next install.
#include "manager/pluginManager.h"

#include "support/childProcess.h"
#include "support/scopedEnv.h"
#include "support/tempFolder.h"

#include <gtest/gtest.h>
#include <juce_core/juce_core.h>

#include <filesystem>
#include <memory>
#include <thread>

using namespace pluginManager;

namespace
{
const PluginFormat walkedFormats[] = {PluginFormat::VST3, PluginFormat::Standalone};

// A home folder of its own whose default plug-in folders are the only ones searched, and a
// manager with Aurora in its catalog. Each machine's folders are new to the walk cache.
struct Machine
{
    Machine()
    {
        PlatformUtils::setSettingsFolder(home.file("settings"));
        for (const PluginFormat format : walkedFormats)
            PlatformUtils::setSearchPaths(format, {PlatformUtils::getDefaultPluginPath(format)});
        Product aurora;
        aurora.slug = "aurora";
        aurora.id = "Aurora";
        manager.catalog.setProducts({aurora});
    }

    ~Machine()
    {
        for (const PluginFormat format : walkedFormats)
            PlatformUtils::setSearchPaths(format, {});
        PlatformUtils::setSettingsFolder("");
    }

    // Puts a product's VST3 bundle into a folder below home; "" is home itself.
    void plant(const std::string& folder, const std::string& product = "Aurora") const
    {
        home.write(folder + "/" + product + ".vst3/Contents/x", "");
    }

    // Full path of a folder below home, "" for none.
    std::string at(const std::string& folder) const { return folder.empty() ? "" : home.file(folder); }

    testSupport::TempFolder home;
    testSupport::ScopedEnv homeVariable{"HOME", home.path()};
    PluginManager manager{false};
};
}

TEST(InstallFolders, AFoundInstallStaysUnlessAChosenFolderLeavesItOutside)
{
    struct Case
    {
        const char* customVst3; // the format's custom folder, "" for none
        const char* auroraVst3; // the product's own folder, "" for none
        const char* planted;    // where Aurora lies, "" for nowhere
        const char* located;
        const char* next;
    };
    const Case cases[] = {
        {"", "", "", "", ".vst3"},
        {"", "", ".vst3/Kestavel", ".vst3/Kestavel", ".vst3/Kestavel"},
        {"custom", "", ".vst3", ".vst3", "custom"},
        {"custom", "", "custom/sub", "custom/sub", "custom/sub"},
        {"custom", "", "custom", "custom", "custom"},
        {"", "mine", ".vst3/Kestavel", ".vst3/Kestavel", "mine"},
        {"", "mine", "mine/deeper/still", "mine/deeper/still", "mine/deeper/still"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::string(c.customVst3) + "|" + c.auroraVst3 + "|" + c.planted);
        Machine machine;
        if (*c.planted)
            machine.plant(c.planted);
        if (*c.customVst3)
            machine.manager.installPaths.set(PluginFormat::VST3, machine.at(c.customVst3));
        if (*c.auroraVst3)
            machine.manager.setInstallPath("AuroraFX", "VST3", machine.at(c.auroraVst3));
        EXPECT_EQ(machine.manager.locateInstalled("Aurora", PluginFormat::VST3), machine.at(c.located));
        EXPECT_EQ(machine.manager.pathFor("Aurora", PluginFormat::VST3), machine.at(c.next));
        EXPECT_EQ(machine.manager.isInstalled("Aurora", "VST3"), *c.located != '\0');
    }
}

TEST(InstallFolders, BundlesAndFoldersBelowDepthEightAreNotSearched)
{
    Machine machine;
    // product, folder below home, found there
    const std::tuple<std::string, std::string, bool> cases[] = {
        {"Deep8", ".vst3/1/2/3/4/5/6/7/8", true},
        {"Deep9", ".vst3/1/2/3/4/5/6/7/8/9", false},
        {"InVst3", ".vst3/Pack.VST3", false},
        {"BelowClap", ".vst3/Other.Clap/inner", false},
        {"InLv2", ".vst3/x.lv2", false},
        {"InApp", ".vst3/Tool.app", false},
        {"Dotted", ".vst3/version 1.5", true},
    };
    for (const auto& [product, folder, found] : cases)
        machine.plant(folder, product);
    for (const auto& [product, folder, found] : cases)
        EXPECT_EQ(machine.manager.locateInstalled(product, PluginFormat::VST3), found ? machine.at(folder) : "")
            << product;

    // A format without any folder here is never found and touches no disk.
    EXPECT_FALSE(machine.manager.isInstalled("Aurora", "AU"));
    EXPECT_EQ(machine.manager.getInstalledVersion("Aurora", "AU"), "");
}

TEST(InstallFolders, AVariantGoesWhereItsOwnerLiesElseWhereItLiesItself)
{
    // folders holding Aurora and AuroraFX, where AuroraFX goes next
    const std::tuple<std::string, std::string, std::string> cases[] = {
        {".vst3/A", ".vst3/F", ".vst3/A"},
        {"", ".vst3/F", ".vst3/F"},
        {"", "", ".vst3"},
    };
    for (const auto& [owner, variant, next] : cases)
    {
        Machine machine;
        if (!owner.empty())
            machine.plant(owner, "Aurora");
        if (!variant.empty())
            machine.plant(variant, "AuroraFX");
        EXPECT_EQ(machine.manager.pathFor("AuroraFX", PluginFormat::VST3), machine.at(next)) << owner << "|" << variant;
    }
}

TEST(InstallFolders, StandaloneGetsAFolderNamedAfterTheProductUnlessTheProductHasItsOwn)
{
    Machine machine;
    PluginManager& manager = machine.manager;
    EXPECT_EQ(manager.configuredPathFor("Aurora", PluginFormat::Standalone), machine.at(".local/bin/Aurora"));
    // The name asked for, not its owner's.
    EXPECT_EQ(manager.configuredPathFor("AuroraFX", PluginFormat::Standalone), machine.at(".local/bin/AuroraFX"));
    manager.installPaths.set(PluginFormat::Standalone, "/opt/apps");
    EXPECT_EQ(manager.getInstallPath("Aurora", "Standalone"), "/opt/apps/Aurora");
    manager.setInstallPath("Aurora", "Standalone", "/opt/aurora");
    EXPECT_EQ(manager.configuredPathFor("AuroraFX", PluginFormat::Standalone), "/opt/aurora");

    // The chosen folder is saved at once.
    InstallPaths saved(true);
    EXPECT_EQ(saved.get("Aurora", PluginFormat::Standalone), "/opt/aurora");
}

TEST(InstallFolders, OneWalkServesTheLookupsOfOneSecond)
{
    Machine machine;
    machine.home.write(".vst3/readme.txt", "");
    const double start = juce::Time::getMillisecondCounterHiRes();
    EXPECT_FALSE(machine.manager.isInstalled("Aurora", "VST3"));

    machine.plant(".vst3/new");
    const bool foundAtOnce = machine.manager.isInstalled("Aurora", "VST3");
    if (juce::Time::getMillisecondCounterHiRes() - start < 1000)
    {
        EXPECT_FALSE(foundAtOnce) << "the folder made after the walk was seen within the second";
    }

    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    EXPECT_TRUE(machine.manager.isInstalled("Aurora", "VST3"));
}

// Root may write anywhere, so the case runs as an unprivileged user when the tests run as root.
TEST(InstallFolders, AFoundInstallInAFolderThisUserCannotWriteGoesToTheConfiguredFolder)
{
    namespace fs = std::filesystem;
    Machine machine;
    machine.plant(".vst3/locked");
    fs::permissions(machine.home.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                             fs::perms::others_read | fs::perms::others_exec);
    fs::permissions(machine.at(".vst3/locked"), fs::perms::owner_write | fs::perms::group_write |
                                                    fs::perms::others_write, fs::perm_options::remove);

    const std::string locked = machine.at(".vst3/locked"), configured = machine.at(".vst3");
    const int code = testSupport::runInChild([&machine, &locked, &configured] {
        if (!testSupport::dropRootPrivileges())
            return 2;
        if (machine.manager.locateInstalled("Aurora", PluginFormat::VST3) != locked)
            return 3;
        return machine.manager.pathFor("Aurora", PluginFormat::VST3) == configured ? 0 : 1;
    });
    EXPECT_EQ(code, 0) << "1: the unwritable folder was kept, 2: could not drop root, 3: install not found";
}
