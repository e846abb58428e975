// Finding installs on real folder trees, the folder of the next install, and installs left outside it.
#include "manager/pluginManager.h"

#include "support/childProcess.h"
#include "support/scopedEnv.h"
#include "support/tempFolder.h"
#include "support/testEndpoints.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace pluginManager;

namespace
{
// A home folder new to the walk cache, whose default VST3 folder is the only one searched, and a
// manager whose catalog holds Aurora, the owner of AuroraFX.
struct Machine
{
    Machine()
    {
        PlatformUtils::setSettingsFolder(home.file("settings"));
        PlatformUtils::setSearchPaths(PluginFormat::VST3, {home.file(".vst3")});
        manager.catalog.setProducts({{"", "Aurora", "", "", "", "", "", "", 0, {}}});
    }
    ~Machine()
    {
        PlatformUtils::setSettingsFolder("");
        PlatformUtils::setSearchPaths(PluginFormat::VST3, {});
    }

    // Puts a product's VST3 bundle into a folder below home; nothing for an empty folder.
    void plant(const std::string& folder, const std::string& product = "Aurora") const
    {
        if (!folder.empty())
            home.write(folder + "/" + product + ".vst3/Contents/x", "");
    }

    std::string at(const std::string& folder) const { return folder.empty() ? "" : home.file(folder); }
    std::string next(const std::string& product) const { return manager.getInstallPath(product, "VST3"); }

    testSupport::TempFolder home;
    testSupport::ScopedEnv homeVariable{"HOME", home.path()};
    PluginManager manager{false};
};
}

// A variant goes where its owner lies, else where it lies itself. A standalone program gets a
// folder named after it unless its product has a folder of its own, which is saved at once under
// the owning product.
TEST(InstallFolders, AFoundInstallStaysUnlessAChosenFolderLeavesItOutside)
{
    const PluginFormat vst3 = PluginFormat::VST3, app = PluginFormat::Standalone;
    // the format, its custom folder, Aurora's own folder, where Aurora lies, where AuroraFX lies,
    // where AuroraFX goes next
    const std::tuple<PluginFormat, std::string, std::string, std::string, std::string, std::string> cases[] = {
        {vst3, "", "", "", "", ".vst3"},                 {vst3, "", "", ".vst3/Kestavel", "", ".vst3/Kestavel"},
        {vst3, "custom", "", ".vst3", "", "custom"},     {vst3, "custom", "", "custom/sub", "", "custom/sub"},
        {vst3, "custom", "", "custom", "", "custom"},    {vst3, "", "mine", ".vst3/Kestavel", "", "mine"},
        {vst3, "", "mine", "mine/deeper/still", "", "mine/deeper/still"},
        {vst3, "", "", ".vst3/A", ".vst3/F", ".vst3/A"}, {vst3, "", "", "", ".vst3/F", ".vst3/F"},
        {app, "", "", "", "", ".local/bin/AuroraFX"},    {app, "apps", "", "", "", "apps/AuroraFX"},
        {app, "", "mine", "", "", "mine"}};
    for (const auto& [format, custom, own, owner, variant, next] : cases)
    {
        Machine machine;
        PluginManager& manager = machine.manager;
        machine.plant(owner);
        machine.plant(variant, "AuroraFX");
        manager.installPaths.set(format, machine.at(custom));
        std::string error;
        EXPECT_TRUE(manager.setInstallPath("AuroraFX", PlatformUtils::formatToString(format), machine.at(own), error));
        EXPECT_EQ(InstallPaths(true).isCustom("Aurora", format), !own.empty()) << error;
        EXPECT_EQ(manager.pathFor("AuroraFX", format), machine.at(next))
            << custom << "|" << own << "|" << owner << "|" << variant;
    }
}

// Lookups share a walk for a second; an install made meanwhile is seen once it is over. The test
// clock moves only when told.
TEST(InstallFolders, BundlesAndFoldersBelowDepthEightAreNotSearchedAndAWalkIsRepeatedAfterASecond)
{
    Machine machine;
    // product, folder below home, found there
    const std::tuple<std::string, std::string, bool> cases[] = {
        {"Deep8", ".vst3/1/2/3/4/5/6/7/8", true}, {"Deep9", ".vst3/1/2/3/4/5/6/7/8/9", false},
        {"InVst3", ".vst3/Pack.VST3", false},      {"BelowClap", ".vst3/Other.Clap/inner", false},
        {"InApp", ".vst3/Tool.app", false},        {"Dotted", ".vst3/version 1.5", true}};
    for (const auto& [product, folder, found] : cases)
        machine.plant(folder, product);
    for (const auto& [product, folder, found] : cases)
        EXPECT_EQ(machine.manager.isInstalled(product, "VST3"), found) << product;
    machine.plant(".vst3/new");
    testSupport::passTime(1000);
    EXPECT_FALSE(machine.manager.isInstalled("Aurora", "VST3"));
    testSupport::passTime(1);
    EXPECT_TRUE(machine.manager.isInstalled("Aurora", "VST3"));
}

// Root may write anywhere, so the lookup runs as an unprivileged user when the tests run as root.
TEST(InstallFolders, AnInstallInAFolderThisUserCannotWriteGoesToTheConfiguredFolder)
{
    namespace fs = std::filesystem;
    Machine machine;
    machine.plant(".vst3/locked");
    std::string folder = machine.home.path();
    for (const std::string inner : {"", "/.vst3", "/locked", "/Aurora.vst3", "/Contents"})
        fs::permissions(folder += inner, fs::perms::others_read | fs::perms::others_exec, fs::perm_options::add);
    fs::permissions(machine.at(".vst3/locked"), fs::perms::owner_write, fs::perm_options::remove);
    const int code = testSupport::runInChild([&machine] {
        if (!testSupport::dropRootPrivileges())
            return 2;
        const bool found = machine.manager.locateInstalled("Aurora", PluginFormat::VST3) == machine.at(".vst3/locked");
        return found && machine.next("Aurora") == machine.at(".vst3") ? 0 : 1;
    });
    EXPECT_EQ(code, 0) << "1: the install was not found or its unwritable folder was kept, 2: could not drop root";
}

// A recorded path stands as the program wrote it: a leading "~" is no home folder. Removing the
// stray removes its record too.
TEST(ManagerRemoval, AStrayInstallIsOneStillOnDiskOutsideTheFolderTheNextInstallWouldUse)
{
    Machine machine;
    PluginManager& manager = machine.manager;
    manager.installPaths.set(PluginFormat::VST3, machine.at("chosen"));
    machine.plant(".vst3");
    machine.plant("chosen", "Vireo");
    machine.plant(".", "Tilde");
    for (const auto& [product, path] :
         {std::pair{"Aurora", ".vst3/Aurora.vst3"}, {"Vireo", "chosen/Vireo.vst3"}, {"Gone", ".vst3/Gone.vst3"}})
        manager.installed.entries.push_back({product, "VST3", "1.0.0", machine.at(path), "", "", 0, {}});
    manager.installed.entries.push_back({"Tilde", "VST3", "1.0.0", "~/Tilde.vst3", "", "", 0, {}});

    const std::vector<InstalledPlugins::Entry> strays = manager.getStrayInstalls();
    ASSERT_EQ(strays.size(), 1u);
    std::string removed;
    EXPECT_TRUE(manager.removeStray(strays[0], removed)) << removed;
    EXPECT_FALSE(machine.home.exists(".vst3/Aurora.vst3"));
    EXPECT_EQ(manager.installed.entries.size(), 3u);

    // Gone from disk, but still in a record that could not be saved, a removal is not called done.
    const std::string record = PlatformUtils::getSettingsPath("installed.json");
    std::filesystem::remove(record);
    std::filesystem::create_directory(record);
    EXPECT_FALSE(manager.uninstall("Vireo", "VST3", removed));
    EXPECT_EQ(removed, "Could not save " + record + ": Is a directory");
}
