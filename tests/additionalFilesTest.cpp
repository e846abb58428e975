#include "manager/pluginManager.h"

#include "installFixture.h"

using namespace pluginManager;
using AdditionalFiles = installTests::InstallFixture;

// A product list names the product whose data folder receives the downloads; a name that climbs
// out of the maker's folder would let a server write anywhere the user can, and is refused before
// anything is fetched.
TEST_F(AdditionalFiles, ProductNamesThatLeaveTheMakersFolderAreRefused)
{
    server.setText("/x.bin", "payload");
    const auto install = [this](const std::string& product) {
        PluginManager::FilesRequest request;
        request.product = product;
        request.files = {{"roms", {{server.url("/x.bin"), "x.bin"}}}};
        return PluginManager::installAdditionalFiles(request, message);
    };
    for (const std::string product : {"..", ".", "", "../..", "x/../..", "..\\.."})
    {
        EXPECT_FALSE(install(product)) << product;
        EXPECT_EQ(message, "1 additional file could not be installed: \"" + product
                               + "\" is not a name a data folder can have");
    }
    EXPECT_EQ(server.requestCount("/x.bin"), 0u);
    EXPECT_TRUE(install("Synth")) << message;
    EXPECT_EQ(root.read("data/Kestavel/Synth/roms/x.bin"), "payload");
}
