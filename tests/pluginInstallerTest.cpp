#include "manager/install/pluginInstaller.h"

#include "installFixture.h"
#include "support/childProcess.h"
#include "support/testServer.h"

#include <juce_events/juce_events.h>

using namespace pluginManager;
using namespace installTests;

namespace
{
using Lines = std::vector<std::string>;

class PluginInstallerTest : public InstallFixture
{
protected:
    Asset build(const std::string& url) const
    {
        Asset asset;
        asset.product = "Foo";
        asset.format = "VST3";
        asset.version = "1.2.3";
        asset.url = url;
        return asset;
    }

    // The build of the test: Foo.vst3 with its library, in a wrapper folder, with a read-me.
    std::string serveBuild()
    {
        root.write("src/Foo-linux/Foo.vst3/Contents/x86_64-linux/Foo.so", "new library");
        root.write("src/Foo-linux/readme.txt", "read me");
        server.setText(path, testSupport::readFile(zipWithProgram(root.file("src"), {"Foo-linux"})), "application/zip");
        return server.url(path);
    }

    bool run(const Asset& asset, const std::string& location)
    {
        return installer.install(asset, {}, location, {}, message, "", {});
    }

    testSupport::TestServer server;
    const std::string path = "/builds/Kestavel-Foo-VST3-1.2.3-linux-x86_64.zip";
    const std::string location = root.file("plugins");
    PluginInstaller installer;
    std::string message;
};
}

TEST_F(PluginInstallerTest, EarlyFailuresComeInTheOrderOfTheSteps)
{
    root.write("a-file", "x");
    const auto url = server.url(path);
    struct Case
    {
        std::string name;
        bool busy;
        std::string url;
        std::string format;
        std::string location;
        std::string message;
        Lines log;
    };
    const std::vector<Case> cases = {
        {"busy before everything", true, "", "VST3", "", "Already installing", {}},
        {"no download before no location", false, "", "VST3", "", "No download available", {}},
        {"no location", false, url, "VST3", "", "There is no install location for VST3. Set one in Preferences.", {}},
        {"no location, no format", false, url, "", "",
         "There is no install location for this download. Set one in Preferences.", {}},
        {"a file in the folder's place", false, url, "VST3", root.file("a-file"),
         root.file("a-file") + " is a file, not a folder.",
         {"Install Foo VST3: " + root.file("a-file") + " is a file, not a folder."}},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        testSupport::writeFile(PlatformUtils::getSettingsPath("log.txt"), "");
        installer.installing->store(c.busy);
        auto asset = build(c.url);
        asset.format = c.format;
        EXPECT_FALSE(run(asset, c.location));
        EXPECT_EQ(message, c.message);
        EXPECT_EQ(logMessages(), c.log);
        EXPECT_EQ(installer.installing->load(), c.busy) << "the flag belongs to the install that holds it";
    }
    EXPECT_EQ(server.requestCount(path), 0u);
}

TEST_F(PluginInstallerTest, ReadOnlyLocationDownloadsAndLogsNothing)
{
    const auto url = serveBuild();
    fs::create_directories(location);
    fs::create_directories(root.file("settings"));
    openTo(root.path(), false);
    openTo(location, false);
    openTo(root.file("settings"), true);
    const auto asset = build(url);
    const int code = testSupport::runInChild([&] {
        if (!testSupport::dropRootPrivileges())
            return 10;
        std::string written;
        if (PluginInstaller().install(asset, {}, location, {}, written))
            return 1;
        return written.rfind("Cannot write to " + location + ".", 0) == 0 ? 0 : 2;
    });
    EXPECT_EQ(code, 0) << "1: reported success, 2: another message, 10: could not drop root";
    EXPECT_EQ(server.requestCount(path), 0u);
    EXPECT_TRUE(logMessages().empty());
}

TEST_F(PluginInstallerTest, CutOffDownloadLeavesTheInstalledPluginAndNoFiles)
{
    const auto url = serveBuild();
    root.write("plugins/Foo.vst3/Contents/x86_64-linux/Foo.so", "old library");
    root.write("plugins/Foo.vst3/Contents/Resources/sound.bin", "rom");
    server.cutOff(path, 100);
    *installer.installedItems = {"Foo.vst3"};

    EXPECT_FALSE(run(build(url), location));
    EXPECT_EQ(message, "The download was cut off");
    EXPECT_EQ(root.read("plugins/Foo.vst3/Contents/x86_64-linux/Foo.so"), "old library");
    EXPECT_EQ(root.read("plugins/Foo.vst3/Contents/Resources/sound.bin"), "rom") << "ROMs move only for an install";
    EXPECT_TRUE(leftInTemp().empty());
    EXPECT_EQ(*installer.installedItems, Lines{"Foo.vst3"});
    EXPECT_FALSE(installer.installing->load());
    for (const auto& line : logMessages())
        EXPECT_NE(line.rfind("Install ", 0), 0u) << line;
}

TEST_F(PluginInstallerTest, InstallMovesRomsOutAndReplacesThePlugin)
{
    const auto url = serveBuild();
    root.write("plugins/Foo.vst3/Contents/x86_64-linux/Foo.so", "old library");
    root.write("plugins/Foo.vst3/Contents/Resources/a/bank.bin", "first bank");
    root.write("plugins/Foo.vst3/Contents/Resources/b/bank.bin", "second bank");
    root.write("plugins/Foo.vst3/Contents/Resources/song.mid", "song");
    const auto roms = romFolder("Foo");
    testSupport::writeFile(roms + "song.mid", "song");
    std::vector<float> reports;

    ASSERT_TRUE(installer.install(build(url), {}, location, [&](float f) { reports.push_back(f); }, message))
        << message;

    EXPECT_EQ(message, "Foo VST3 1.2.3 installed");
    EXPECT_EQ(root.read("plugins/Foo.vst3/Contents/x86_64-linux/Foo.so"), "new library");
    EXPECT_FALSE(root.exists("plugins/Foo.vst3/Contents/Resources"));
    EXPECT_FALSE(root.exists("plugins/readme.txt"));
    // Both banks survive under their own names, whichever moved first.
    std::vector<std::string> banks{testSupport::readFile(roms + "bank.bin"), testSupport::readFile(roms + "bank(2).bin")};
    std::sort(banks.begin(), banks.end());
    EXPECT_EQ(banks, (Lines{"first bank", "second bank"}));
    EXPECT_EQ(describeTree(roms).size(), 3u) << "the song already there is not copied again";
    EXPECT_EQ(*installer.installedItems, Lines{"Foo.vst3"});
    EXPECT_FALSE(reports.empty());
    EXPECT_EQ(reports.back(), 1.0f);
    EXPECT_TRUE(leftInTemp().empty());
    const auto log = logMessages();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), "Install Foo VST3 1.2.3 -> " + location + ": ok");
    EXPECT_EQ(std::count_if(log.begin(), log.end(), [](const auto& l) { return l.rfind("Moved ", 0) == 0; }), 2);
    EXPECT_FALSE(installer.installing->load());
}

TEST_F(PluginInstallerTest, FailureAfterTheDownloadIsLoggedAndKeepsTheItems)
{
    server.setText(path, "no archive at all", "application/zip");
    *installer.installedItems = {"Earlier.vst3"};

    EXPECT_FALSE(run(build(server.url(path)), location));
    EXPECT_EQ(message, "The downloaded archive is empty or damaged.");
    EXPECT_EQ(logMessages(), Lines{"Install Foo VST3 1.2.3 -> " + location + ": " + message});
    EXPECT_EQ(*installer.installedItems, Lines{"Earlier.vst3"});
    EXPECT_TRUE(leftInTemp().empty());
}

TEST_F(PluginInstallerTest, ArchiveFromTheZipProgramInstallsAsUnzipUnpacksIt)
{
    root.write("src/Foo.vst3/Contents/x86_64-linux/Foo.so", "library");
    root.write("src/Foo.vst3/Contents/Resources/presets/deep/init.fxp", "preset");
    root.write("src/Foo.vst3/Contents/Resources/moduleinfo.json", "{}");
    fs::permissions(root.file("src/Foo.vst3/Contents/x86_64-linux/Foo.so"), fs::perms(0755));
    fs::permissions(root.file("src/Foo.vst3/Contents/Resources/moduleinfo.json"), fs::perms(0644));
    // A link to a file that is not executable: the link's own mode must not reach it.
    makeLink("../Resources/moduleinfo.json", root.file("src/Foo.vst3/Contents/x86_64-linux/moduleinfo.json"));
    const auto archive = zipWithProgram(root.file("src"), {"Foo.vst3"});
    server.setText(path, testSupport::readFile(archive), "application/zip");
    const auto unzipped = root.file("unzipped");
    const auto result = testSupport::runProcess("/usr/bin/unzip", {"-q", archive, "-d", unzipped});
    ASSERT_EQ(result.exitCode, 0) << result.err;

    ASSERT_TRUE(run(build(server.url(path)), location)) << message;
    EXPECT_EQ(describeTree(location), describeTree(unzipped));
    EXPECT_EQ(fs::read_symlink(location + "/Foo.vst3/Contents/x86_64-linux/moduleinfo.json"),
              "../Resources/moduleinfo.json");
}

TEST_F(PluginInstallerTest, UninstallFindsTheRecordedBundleWhenTheStandardOneIsMissing)
{
    root.write("plugins/Custom.vst3/Contents/data.bin", "rom");
    root.write("plugins/extra/file", "x");
    const Lines files{location + "/Custom.vst3", location + "/extra", location + "/gone"};
    std::string removed;

    ASSERT_TRUE(PluginInstaller::uninstall("Foo", "FooData", PluginFormat::VST3, location, files, message, nullptr,
                                           &removed))
        << message;
    EXPECT_EQ(message, "Foo VST3 removed");
    EXPECT_EQ(removed, location + "/Custom.vst3");
    EXPECT_FALSE(root.exists("plugins/Custom.vst3"));
    EXPECT_FALSE(root.exists("plugins/extra"));
    EXPECT_EQ(testSupport::readFile(romFolder("FooData") + "data.bin"), "rom");

    EXPECT_FALSE(PluginInstaller::uninstall("Foo", "Foo", PluginFormat::VST3, location, files, message));
    EXPECT_EQ(message, "Foo VST3 is not installed here.");
    EXPECT_FALSE(PluginInstaller::uninstall("Foo", "Foo", PluginFormat::VST3, "", files, message));
    EXPECT_EQ(message, "There is no install location for this format.");
}

TEST_F(PluginInstallerTest, BackgroundInstallReportsOnTheMessageThread)
{
    const auto url = serveBuild();
    juce::MessageManager::getInstance();
    Lines events;
    bool finished = false;
    installer.installAsync(
        build(url), {}, location,
        [&](float) { events.push_back(juce::MessageManager::existsAndIsCurrentThread() ? "progress" : "elsewhere"); },
        [&](bool ok, const std::string& text) {
            events.push_back(juce::MessageManager::existsAndIsCurrentThread() ? text : "elsewhere");
            finished = ok;
        });
    for (int round = 0; round < 500 && !finished; ++round)
        juce::MessageManager::getInstance()->runDispatchLoopUntil(20);
    juce::MessageManager::deleteInstance();

    ASSERT_TRUE(finished);
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(events.back(), "Foo VST3 1.2.3 installed");
    events.pop_back();
    EXPECT_EQ(events, Lines(events.size(), "progress"));
    EXPECT_EQ(*installer.installedItems, Lines{"Foo.vst3"});
}
