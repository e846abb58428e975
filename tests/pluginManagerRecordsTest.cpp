// What the manager hands the additional-file downloads, and the folders recording an install makes.
#include "manager/pluginManager.h"

#include "support/scopedEnv.h"
#include "support/tempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace pluginManager;

namespace
{
FileSection section(const std::string& folder) { return {folder, {{"https://files.test/" + folder + ".bin", ""}}}; }

Asset build(const std::string& product, const std::string& format, Channel channel = Channel::Public)
{
    Asset asset;
    asset.product = product;
    asset.format = format;
    asset.version = "1.0.0";
    asset.channel = channel;
    return asset;
}
}

TEST(ManagerRecords, AChannelFolderWithAListOfItsOwnSpeaksForThatChannelsBuilds)
{
    PluginManager manager(false);
    Product aurora;
    aurora.id = "Aurora";
    aurora.slug = "aurora-folder";
    aurora.files = {section("catalog")};
    manager.catalog.setProducts({aurora});
    manager.catalog.setChannelFiles("aurora-folder", Channel::Donators, {section("donators")});
    manager.catalog.setChannelFiles("aurora-folder", Channel::Internal, {});
    manager.credentials.set(Channel::Donators, "aurora-folder", {"fan", "pw"}, false);
    manager.credentials.set(Channel::Internal, "", {"team", "tpw"}, false);

    // build, data product, the one section's folder (none when empty), donator login user
    const std::tuple<Asset, std::string, std::string, std::string> cases[] = {
        {build("AuroraFX", "VST3"), "Aurora", "catalog", "fan"},
        {build("Aurora", "VST3", Channel::Donators), "Aurora", "donators", "fan"},
        {build("Aurora", "VST3", Channel::Internal), "Aurora", "catalog", "fan"},
        {build("Loner", "VST3", Channel::Donators), "Loner", "", ""},
    };
    for (const auto& [asset, product, folder, donator] : cases)
    {
        SCOPED_TRACE(asset.product + " " + channelToString(asset.channel));
        const PluginManager::FilesRequest request = manager.filesRequestFor(asset);
        EXPECT_EQ(request.product, product);
        ASSERT_EQ(request.files.size(), folder.empty() ? 0u : 1u);
        if (!folder.empty())
        {
            EXPECT_EQ(request.files[0].folder, folder);
        }
        EXPECT_EQ(request.internal.user, "team");
        EXPECT_EQ(request.donators.user, donator);
    }
}

TEST(ManagerRecords, RecordingAPlugInMakesTheRomFolderOfItsDataProductAndAProgramMakesNone)
{
    testSupport::TempFolder root;
    testSupport::ScopedEnv data("VYR_DATA_FOLDER", root.file("data"));
    PlatformUtils::setSettingsFolder(root.file("settings"));
    PluginManager manager(false);
    Product aurora;
    aurora.id = "Aurora";
    manager.catalog.setProducts({aurora});
    manager.installPaths.set(PluginFormat::VST3, root.file("vst3"));
    manager.installPaths.set(PluginFormat::Standalone, root.file("bin"));

    manager.recordInstall(build("Solo", "Standalone"), {"Solo"});
    EXPECT_FALSE(std::filesystem::exists(PlatformUtils::romFolder("Solo")));
    manager.recordInstall(build("AuroraFX", "VST3"), {"AuroraFX.vst3"});
    EXPECT_TRUE(std::filesystem::is_directory(PlatformUtils::romFolder("Aurora")));
    EXPECT_FALSE(std::filesystem::exists(PlatformUtils::romFolder("AuroraFX")));
    ASSERT_EQ(manager.installed.entries.size(), 2u);
    EXPECT_EQ(manager.installed.entries[1].path, root.file("vst3/AuroraFX.vst3"));
    PlatformUtils::setSettingsFolder("");
}
