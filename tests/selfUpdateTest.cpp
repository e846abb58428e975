#include "manager/install/selfUpdate.h"

#include "manager/platform/log.h"
#include "manager/platform/platformUtils.h"

#include "support/childProcess.h"
#include "support/tempFolder.h"

#include <gtest/gtest.h>
#include <juce_core/juce_core.h>

#include <filesystem>

using namespace pluginManager;
namespace fs = std::filesystem;

namespace
{
// The running program's stand-in: writes its arguments, one a line, beside itself, the file appearing whole.
const char* const recorder = "#!/bin/sh\nd=$(dirname \"$0\")\nfor a in \"$@\"; do echo \"$a\"; done > \"$d/args.tmp\"\n"
                             "mv \"$d/args.tmp\" \"$d/args.txt\"\n";

Asset ownBuild(const std::string& version, Channel channel = Channel::Public, const std::string& os = "",
               const std::string& product = "PluginManager", const std::string& format = "Standalone")
{
    return {product, format, version, os.empty() ? PlatformUtils::getCurrentOS() : os,
            PlatformUtils::getCurrentArch(), "zip", "", channel, "", ""};
}

class SelfUpdateFiles : public testing::Test
{
protected:
    void SetUp() override
    {
        temp.write("app/vyrpm", recorder);
        fs::permissions(program, fs::perms::owner_all);
        PlatformUtils::setSettingsFolder(temp.file("settings"));
        Log::start();
    }
    void TearDown() override
    {
        Log::stop();
        PlatformUtils::setSettingsFolder("");
    }

    testSupport::TempFolder temp;
    const std::string program = temp.file("app/vyrpm");
    const std::string oldFile = program + ".old";
    std::string message = "untouched";
};
}

TEST(SelfUpdate, FindsTheNewestVersionForThisPlatformAndTheRunningOne)
{
    // builds, index of find's answer, index of findSameVersion's answer (-1: null)
    const std::tuple<std::vector<Asset>, int, int> cases[] = {
        {{ownBuild("2.2.26"), ownBuild("2.2.27")}, -1, 1},
        {{ownBuild("2.2.27"), ownBuild("2.3.0", Channel::Public, "windows"), ownBuild("3.0", {}, "", "PluginManagerFX"),
          ownBuild("3.0", {}, "", "PluginManager", "VST3")}, -1, 0},
        {{ownBuild("2.2.27.1")}, 0, -1},
        {{ownBuild("2.2.27.0")}, -1, -1},
        {{ownBuild("2.2.27"), ownBuild("2.10.0", Channel::Donators), ownBuild("2.10.0"), ownBuild("2.9.0")}, 2, 0},
    };
    for (const auto& [builds, newer, current] : cases)
    {
        Catalog catalog;
        catalog.addAssets(builds);
        const auto at = [&catalog](int index) { return index < 0 ? nullptr : &catalog.assets()[size_t(index)]; };
        EXPECT_EQ(SelfUpdate::find(catalog), at(newer)) << builds.size();
        EXPECT_EQ(SelfUpdate::findSameVersion(catalog), at(current)) << builds.size();
    }
    EXPECT_TRUE(SelfUpdate::isRestart({"list", "--updated"}));
    EXPECT_FALSE(SelfUpdate::isRestart({"--UPDATED", "--updated=1", " --updated"}));
}

TEST_F(SelfUpdateFiles, MakeRoomReplacesALeftOverOldFileAndRestoreUndoesItOnlyAfterAFailedCopy)
{
    temp.write("app/vyrpm.old/in/file", "x");
    EXPECT_TRUE(SelfUpdate::makeRoom(message, program));
    EXPECT_FALSE(fs::exists(program));
    EXPECT_EQ(testSupport::readFile(oldFile), recorder);

    // A failed copy: the program comes back. A successful one: both stay.
    SelfUpdate::restore(program);
    EXPECT_EQ(testSupport::readFile(program), recorder);
    temp.write("elsewhere/keep", "not ours");
    fs::create_directory_symlink(temp.file("elsewhere"), oldFile);
    EXPECT_TRUE(SelfUpdate::makeRoom(message, program));
    EXPECT_EQ(temp.read("elsewhere/keep"), "not ours");
    temp.write("app/vyrpm", "new build");
    SelfUpdate::restore(program);
    EXPECT_EQ(testSupport::readFile(program), "new build");
    EXPECT_EQ(testSupport::readFile(oldFile), recorder);
    EXPECT_EQ(message, "untouched");

    fs::remove(program);
    EXPECT_FALSE(SelfUpdate::makeRoom(message, program));
    EXPECT_EQ(message, "Could not move " + program + " out of the way");
}

TEST_F(SelfUpdateFiles, RestartPassesExactlyOneMarkerAtTheEnd)
{
    const std::pair<std::string, std::string> cases[] = {
        {"", "--updated\n"},
        {"install Foo --updated --updated --format VST3", "install\nFoo\n--format\nVST3\n--updated\n"},
        // Only a marker standing alone is one; a value holding its letters arrives whole.
        {"  --settings /u/--updated-x --updated ", "--settings\n/u/--updated-x\n--updated\n"},
    };
    for (const auto& [arguments, received] : cases)
    {
        fs::remove(temp.file("app/args.txt"));
        ASSERT_TRUE(SelfUpdate::restart(arguments, message, program)) << message;
        for (int waited = 0; waited < 60000 && !temp.exists("app/args.txt"); waited += 20)
            juce::Thread::sleep(20);
        EXPECT_EQ(temp.read("app/args.txt"), received);
    }
    EXPECT_EQ(message, "untouched");
    // Not executable: the framework would hand the file to a document viewer.
    fs::permissions(program, fs::perms::owner_read);
    EXPECT_FALSE(SelfUpdate::restart("list", message, program));
    EXPECT_EQ(message, "Could not start " + program);
    fs::remove(program);
    EXPECT_FALSE(SelfUpdate::restart("list", message, program));
    EXPECT_EQ(message, program + " is not there");
}

TEST_F(SelfUpdateFiles, CleanUpRemovesTheOldFileAndLogsOnlyWhenThereIsOne)
{
    SelfUpdate::cleanUp(program);
    EXPECT_FALSE(temp.exists("settings/log.txt"));
    temp.write("app/vyrpm.old/in/file", "x");
    SelfUpdate::cleanUp(program);
    EXPECT_FALSE(fs::exists(oldFile));
    EXPECT_TRUE(fs::exists(program));
    EXPECT_NE(temp.read("settings/log.txt").find("  Removing the previous version at " + oldFile + ": ok\r\n"),
              std::string::npos);
}

TEST_F(SelfUpdateFiles, CanUpdateInPlaceOnlyWhereAFileCanBeCreated)
{
    const std::string folder = temp.file("app");
    EXPECT_TRUE(SelfUpdate::canUpdateInPlace(message, folder));
    EXPECT_EQ(message, "untouched");
    EXPECT_FALSE(temp.exists("app/.vyr-write-test"));

    // Open to the unprivileged user a root run drops to, writable by nobody but root.
    fs::permissions(temp.path(), fs::perms::others_read | fs::perms::others_exec, fs::perm_options::add);
    fs::permissions(folder, fs::perms::owner_write | fs::perms::group_write, fs::perm_options::remove);
    const int code = testSupport::runInChild([&folder, this] {
        if (!testSupport::dropRootPrivileges())
            return 10;
        return SelfUpdate::canUpdateInPlace(message, folder) ? 1
               : message == "VYR Plugin Manager is installed in " + folder + ", which this program may not write"
                                " to. Move it to a folder of your own to update it from here, or replace it by hand."
                   ? 0 : 2;
    });
    if (code == 10)
        GTEST_SKIP() << "could not drop root rights, so no folder is unwritable";
    EXPECT_EQ(code, 0) << "1: reported writable, 2: another message";
}
