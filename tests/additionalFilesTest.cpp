#include "manager/pluginManager.h"

#include "installFixture.h"

#include <sys/inotify.h>
#include <unistd.h>

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

// A newer copy takes the old one's place in one rename: at no moment is the user left without the
// file, as a delete before the move would leave them, were the run killed there.
TEST_F(AdditionalFiles, ANewerCopyReplacesTheOldOneWithoutItEverBeingAbsent)
{
    server.setReply("/x.bin", {200, "new", "application/octet-stream",
                               {{"Last-Modified", "Fri, 01 Jan 2100 00:00:00 GMT"}}});
    root.write("data/Kestavel/Synth/roms/x.bin", "old");
    const int events = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(inotify_add_watch(events, root.file("data/Kestavel/Synth/roms").c_str(), IN_DELETE), 0);
    PluginManager::FilesRequest request;
    request.product = "Synth";
    request.files = {{"roms", {{server.url("/x.bin"), ""}}}};
    EXPECT_TRUE(PluginManager::installAdditionalFiles(request, message));
    EXPECT_EQ(message + " " + root.read("data/Kestavel/Synth/roms/x.bin"), "1 additional file installed new");

    // Nothing in the folder was deleted meanwhile: no event is queued.
    char event[4096];
    EXPECT_LT(read(events, event, sizeof event), 0);
    ::close(events);
}
