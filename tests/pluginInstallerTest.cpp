#include "manager/install/pluginInstaller.h"

#include "manager/http/httpClient.h"
#include "manager/install/changeSteps.h"
#include "manager/install/workFolder.h"

#include "installFixture.h"

#include <juce_events/juce_events.h>

#include <algorithm>

#include <unistd.h>

using namespace pluginManager;
using namespace installTests;

namespace
{
class PluginInstallerTest : public InstallFixture
{
protected:
    Asset build(const std::string& url, const std::string& format = "VST3") const
    {
        return {"Foo", format, "1.2.3", "", "", "zip", url, Channel::Public, "", ""};
    }

    // Foo.vst3 in a wrapper folder, with a read-me, an executable and a link, packed by the zip program.
    std::string serveBuild()
    {
        write({{"src/Foo-linux/Foo.vst3/Contents/x86_64-linux/Foo.so", "new library"},
               {"src/Foo-linux/Foo.vst3/Contents/moduleinfo.json", "{}"}, {"src/Foo-linux/readme.txt", "read me"}});
        fs::permissions(root.file("src/Foo-linux/Foo.vst3/Contents/x86_64-linux/Foo.so"), fs::perms(0755));
        // A link to a file that is not executable: the link's own mode must not reach it.
        makeLink("../moduleinfo.json", root.file("src/Foo-linux/Foo.vst3/Contents/x86_64-linux/moduleinfo.json"));
        server.setText(path, testSupport::readFile(zipWithProgram(root.file("src"), {"Foo-linux"})), "application/zip");
        return server.url(path);
    }

    bool run(const Asset& asset, const std::string& where) { return installer.install(asset, {}, where, {}, message); }

    const std::string path = "/builds/Kestavel-Foo-VST3-1.2.3-linux-x86_64.zip";
    const std::string location = root.file("plugins");
    PluginInstaller installer;
};
}

// A location the user cannot write needs rights, which this system cannot ask for.
TEST_F(PluginInstallerTest, EarlyFailuresComeInTheOrderOfTheStepsAndBeforeAnyDownload)
{
    root.write("a-file", "x");
    const auto served = server.url(path);
    const auto notAFolder = root.file("a-file") + " is a file, not a folder.";
    // busy, url, format, location, message; only the last is logged
    const std::tuple<bool, std::string, std::string, std::string, std::string> cases[] = {
        {true, "", "VST3", "", "Already installing"},
        {false, "", "VST3", "", "No download available"},
        {false, served, "VST3", "", "There is no install location for VST3. Set one in Preferences."},
        {false, served, "", "", "There is no install location for this download. Set one in Preferences."},
        {false, served, "VST3", root.file("a-file"), notAFolder},
    };
    for (const auto& [busy, url, format, where, expected] : cases)
    {
        installer.installing->store(busy);
        EXPECT_FALSE(run(build(url, format), where));
        EXPECT_EQ(message, expected);
        EXPECT_EQ(installer.installing->load(), busy) << expected << ": the flag belongs to the install holding it";
    }

    fs::create_directories(location);
    openTo(root.path(), false);
    openTo(location, false);
    openTo(settings.path(), true);
    const std::string waysOut = "Start the plugin manager as administrator, or pick a location you own in Preferences.";
    EXPECT_EQ(asNobody([&] {
                  std::string readOnly, uncreatable;
                  PluginInstaller().install(build(served), {}, location, {}, readOnly);
                  PluginInstaller().install(build(served), {}, location + "/sub", {}, uncreatable);
                  return readOnly + "|" + uncreatable;
              }),
              "Cannot write to " + location + ".\n\nThis folder usually belongs to the system. " + waysOut +
                  "|Cannot create " + location + "/sub.\n\n" + waysOut);
    EXPECT_EQ(logMessages(), Lines{"Install Foo VST3: " + notAFolder});
    EXPECT_EQ(server.requestCount(path), 0u);
}

TEST_F(PluginInstallerTest, BackgroundInstallMovesRomsOutReportsOnTheMessageThreadAndAFailureKeepsTheItems)
{
    const auto url = serveBuild();
    write({{"plugins/Foo.vst3/Contents/x86_64-linux/Foo.so", "old library"},
           {"plugins/Foo.vst3/Contents/Resources/a/song.mid", "song"}});
    // An effect variant keeps its ROM files in its main product's folder.
    Asset variant = build(url);
    variant.dataProduct = "Main";
    juce::MessageManager::getInstance();
    const auto where = [] { return juce::MessageManager::existsAndIsCurrentThread() ? "" : "elsewhere "; };
    Lines events;
    bool finished = false;
    installer.installAsync(
        variant, {}, location, [&](float) { events.push_back(where() + std::string("progress")); },
        [&](bool ok, const std::string& text) {
            events.push_back(where() + text);
            finished = ok;
        });
    for (int round = 0; round < 500 && !finished; ++round)
        juce::MessageManager::getInstance()->runDispatchLoopUntil(20);
    juce::MessageManager::deleteInstance();

    ASSERT_TRUE(finished);
    EXPECT_EQ(events.back(), "Foo VST3 1.2.3 installed");
    events.pop_back();
    EXPECT_EQ(events, Lines(std::max<size_t>(events.size(), 1), "progress"));
    EXPECT_EQ(root.read("plugins/Foo.vst3/Contents/x86_64-linux/Foo.so"), "new library");
    EXPECT_FALSE(root.exists("plugins/Foo.vst3/Contents/Resources") || root.exists("plugins/readme.txt"));
    EXPECT_EQ(testSupport::readFile(PlatformUtils::romFolder("Main") + "song.mid"), "song");
    EXPECT_EQ(*installer.installedItems, Lines{"Foo.vst3"});
    EXPECT_EQ(logMessages().back(), "Install Foo VST3 1.2.3 -> " + location + ": ok");

    // A cancel meant for the install before does not stop this one's download.
    setCancelled(installer.cancelRequested);
    server.setText(path, "no archive at all", "application/zip");
    EXPECT_FALSE(run(build(url), location));
    EXPECT_EQ(message, "The downloaded archive is empty or damaged.");
    EXPECT_EQ(logMessages().back(), "Install Foo VST3 1.2.3 -> " + location + ": " + message);
    EXPECT_EQ(*installer.installedItems, Lines{"Foo.vst3"});
    EXPECT_FALSE(installer.installing->load());
    EXPECT_TRUE(leftInTemp().empty());
}

TEST_F(PluginInstallerTest, UninstallFindsTheRecordedBundleWhenTheStandardOneIsMissing)
{
    write({{"plugins/Custom.vst3/Contents/data.bin", "rom"}, {"plugins/extra/file", "x"}});
    const Lines files{location + "/Custom.vst3", location + "/extra", location + "/gone"};
    std::string removed;

    ASSERT_TRUE(PluginInstaller::uninstall("Foo", "FooData", PluginFormat::VST3, location, files, message, nullptr,
                                           &removed))
        << message;
    EXPECT_EQ(message + "|" + removed, "Foo VST3 removed|" + location + "/Custom.vst3");
    EXPECT_FALSE(root.exists("plugins/Custom.vst3") || root.exists("plugins/extra"));
    EXPECT_EQ(testSupport::readFile(PlatformUtils::romFolder("FooData") + "data.bin"), "rom");

    EXPECT_FALSE(PluginInstaller::uninstall("Foo", "Foo", PluginFormat::VST3, location, files, message));
    EXPECT_EQ(message, "Foo VST3 is not installed here.");
    EXPECT_FALSE(PluginInstaller::uninstall("Foo", "Foo", PluginFormat::VST3, "", files, message));
    EXPECT_EQ(message, "There is no install location for this format.");
}

// Installed, a build packed by the zip program is what the unzip program unpacks. Killed after
// each step of the copy in turn, an install leaves the plug-in whole, old or new. The next install
// or uninstall clears what the killed run left beside the plug-in and in the temporary folder, but
// not the work folder of a run still going.
TEST_F(PluginInstallerTest, ARunKilledAtAnyStepOfTheCopyLeavesAWholePluginAndTheNextRunTidiesUp)
{
    const auto url = serveBuild();
    ASSERT_TRUE(run(build(url), root.file("fresh"))) << message;
    const auto newPlugin = describeTree(root.file("fresh/Foo.vst3"));
    const auto unzip =
        testSupport::runProcess("/usr/bin/unzip", {"-q", root.file("build.zip"), "-d", root.file("unzipped")});
    ASSERT_EQ(unzip.exitCode, 0) << unzip.err;
    EXPECT_EQ(newPlugin, describeTree(root.file("unzipped/Foo-linux/Foo.vst3")));
    WorkFolder live;
    ASSERT_TRUE(live.create());
    int step = 0, exitCode = 1;
    while (exitCode == 1)
    {
        SCOPED_TRACE("killed after step " + std::to_string(++step));
        fs::remove_all(location);
        write({{"plugins/Foo.vst3/Contents/x86_64-linux/Foo.so", "old library"}, {"plugins/Foo.vst3/old", "old"}});
        const auto bundle = location + "/Foo.vst3";
        const auto oldPlugin = describeTree(bundle);
        exitCode = testSupport::runInChild([&] {
            int steps = 0;
            ChangeSteps::onStep = [&] {
                if (++steps == step)
                    _exit(1);
            };
            return run(build(url), location) ? 0 : 2;
        });
        const auto plugin = fs::exists(bundle) ? describeTree(bundle) : decltype(oldPlugin){};
        EXPECT_TRUE(plugin == oldPlugin || plugin == newPlugin);

        if (step % 2 == 1)
        {
            EXPECT_TRUE(run(build(url), location)) << message;
            EXPECT_EQ(namesIn(location), Lines{"Foo.vst3"});
        }
        else
        {
            EXPECT_TRUE(PluginInstaller::uninstall("Foo", "Foo", PluginFormat::VST3, location, {}, message)) << message;
            EXPECT_EQ(namesIn(location), Lines{});
        }
        EXPECT_EQ(leftInTemp(), Lines{live.folder().getFileName().toStdString()});
    }
    EXPECT_EQ(exitCode, 0) << "an install that nothing stops succeeds";
    EXPECT_GT(step, 3) << "the copy has steps to be killed after";

    // A work folder is its owner's alone, and only its owner clears it.
    EXPECT_EQ(fs::status(live.folder().getFullPathName().toStdString()).permissions(), fs::perms::owner_all);
    const auto others = temp.file("vyr-install-1");
    fs::create_directory(others);
    ASSERT_EQ(::chown(others.c_str(), 65534, 65534), 0) << "another user's folder needs root to make, as the suite has";
    WorkFolder::clearAbandoned();
    EXPECT_TRUE(fs::exists(others));
}
