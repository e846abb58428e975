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

    for (const std::string product : {"..", ".", "", "../..", "x/../..", "..\\.."})
    {
        SCOPED_TRACE(product);
        PluginManager::FilesRequest request;
        request.product = product;
        request.files = {{"roms", {{server.url("/x.bin"), "x.bin"}}}};
        EXPECT_FALSE(PluginManager::installAdditionalFiles(request, message));
        EXPECT_EQ(message, "1 additional file could not be installed: \"" + product
                               + "\" is not a name a data folder can have");
    }
    EXPECT_EQ(server.requestCount("/x.bin"), 0u);

    PluginManager::FilesRequest plain;
    plain.product = "Synth";
    plain.files = {{"roms", {{server.url("/x.bin"), "x.bin"}}}};
    EXPECT_TRUE(PluginManager::installAdditionalFiles(plain, message)) << message;
    EXPECT_EQ(root.read("data/Kestavel/Synth/roms/x.bin"), "payload");
}
