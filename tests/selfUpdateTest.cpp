#include "manager/install/selfUpdate.h"

#include "manager/platform/log.h"
#include "manager/platform/platformUtils.h"

#include "support/childProcess.h"
#include "support/tempFolder.h"

#include <gtest/gtest.h>

#include <juce_core/juce_core.h>

#include <filesystem>
#include <string>
#include <vector>

using namespace pluginManager;
using testSupport::TempFolder;
using Texts = std::vector<std::string>;
namespace fs = std::filesystem;

namespace
{
// Writes its arguments, one a line, beside itself; the file appears whole, once the program ran.
const char* const argumentRecorder = "#!/bin/sh\n"
                                     "dir=$(dirname \"$0\")\n"
                                     "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$dir/arguments.tmp\"\n"
                                     "mv \"$dir/arguments.tmp\" \"$dir/arguments.txt\"\n";

Asset ownBuild(const std::string& version, Channel channel = Channel::Public, const std::string& os = "",
               const std::string& arch = "", const std::string& product = "PluginManager",
               const std::string& format = "Standalone")
{
    return {product,
            format,
            version,
            os.empty() ? PlatformUtils::getCurrentOS() : os,
            arch.empty() ? PlatformUtils::getCurrentArch() : arch,
            "zip",
            "",
            channel,
            "",
            ""};
}

Texts linesOf(const std::string& text)
{
    Texts lines;
    for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

// The program folder of an update, with the running program's stand-in in it.
class SelfUpdateFiles : public testing::Test
{
protected:
    void SetUp() override
    {
        temp.write("app/vyrpm", argumentRecorder);
        fs::permissions(program, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
        PlatformUtils::setSettingsFolder(temp.file("settings"));
        Log::start();
    }
    void TearDown() override
    {
        Log::stop();
        PlatformUtils::setSettingsFolder("");
    }

    std::string logText() const { return temp.read("settings/log.txt"); }

    // The arguments the started program received, once it has written them.
    Texts receivedArguments() const
    {
        for (int waited = 0; waited < 60000 && !temp.exists("app/arguments.txt"); waited += 20)
            juce::Thread::sleep(20);
        return linesOf(temp.read("app/arguments.txt"));
    }

    TempFolder temp;
    const std::string program = temp.file("app/vyrpm");
    const std::string oldFile = program + ".old";
    std::string message;
};
}

TEST(SelfUpdateCatalog, FindsTheNewestVersionForThisPlatformAndTheRunningOne)
{
    struct Case
    {
        std::vector<Asset> builds;
        int newer;   // index of find's build, -1: none
        int current; // index of findSameVersion's build, -1: none
    };
    const Case cases[] = {
        {{ownBuild("2.2.26"), ownBuild("2.2.27")}, -1, 1},
        {{ownBuild("2.2.27"), ownBuild("2.3.0", Channel::Public, "windows")}, -1, 0},
        {{ownBuild("2.2.27"), ownBuild("2.3.0", Channel::Public, "", "no-such-cpu")}, -1, 0},
        // A missing part reads as 0.
        {{ownBuild("2.2.27.1")}, 0, -1},
        {{ownBuild("2.2.27.0")}, -1, -1},
        // The newest version by number, and its best build.
        {{ownBuild("2.2.27"), ownBuild("2.10.0", Channel::Donators), ownBuild("2.10.0"), ownBuild("2.9.0")}, 2, 0},
        // Only the program's own product and format.
        {{ownBuild("3.0", Channel::Public, "", "", "PluginManager", "VST3"),
          ownBuild("3.0", Channel::Public, "", "", "PluginManagerFX"), ownBuild("2.2.27")},
         -1, 2},
    };
    for (size_t i = 0; i < std::size(cases); ++i)
    {
        SCOPED_TRACE(i);
        Catalog catalog;
        catalog.addAssets(cases[i].builds);
        const auto at = [&catalog](int index) { return index < 0 ? nullptr : &catalog.assets()[size_t(index)]; };
        EXPECT_EQ(SelfUpdate::find(catalog), at(cases[i].newer));
        EXPECT_EQ(SelfUpdate::findSameVersion(catalog), at(cases[i].current));
    }
}

TEST(SelfUpdateProgram, IsTheRunningTestProgram)
{
    const std::string running = fs::canonical("/proc/self/exe").string();
    EXPECT_EQ(SelfUpdate::appFile(), running);
    EXPECT_EQ(SelfUpdate::appFolder() + "/" + SelfUpdate::appFileName(), running);
}

TEST(SelfUpdateProgram, IsRestartOnlyForTheExactMarker)
{
    const std::pair<Texts, bool> cases[] = {
        {{"install", "Foo", "--updated"}, true}, {{"--updated", "list"}, true}, {{}, false},
        {{"--UPDATED"}, false},                  {{"--updated=1"}, false},      {{" --updated"}, false},
    };
    for (const auto& [args, restarted] : cases)
        EXPECT_EQ(SelfUpdate::isRestart(args), restarted) << testing::PrintToString(args);
}

TEST_F(SelfUpdateFiles, MakeRoomReplacesALeftOverOldFileWithoutFollowingLinks)
{
    temp.write("elsewhere/keep.txt", "not ours");
    const std::vector<std::pair<const char*, std::function<void()>>> leftOvers = {
        {"none", [] {}},
        {"file", [this] { temp.write("app/vyrpm.old", "previous update"); }},
        {"folder", [this] { temp.write("app/vyrpm.old/inside/file", "previous update"); }},
        {"link", [this] { fs::create_directory_symlink(temp.file("elsewhere"), oldFile); }},
    };
    for (const auto& [name, leaveOld] : leftOvers)
    {
        SCOPED_TRACE(name);
        temp.write("app/vyrpm", argumentRecorder);
        leaveOld();
        message = "untouched";
        EXPECT_TRUE(SelfUpdate::makeRoom(message, program));
        EXPECT_EQ(message, "untouched");
        EXPECT_FALSE(fs::exists(program));
        EXPECT_FALSE(fs::is_symlink(oldFile));
        EXPECT_EQ(testSupport::readFile(oldFile), argumentRecorder);
        fs::remove(oldFile);
    }
    EXPECT_EQ(temp.read("elsewhere/keep.txt"), "not ours");
}

TEST_F(SelfUpdateFiles, MakeRoomWithoutAProgramFileSaysSo)
{
    fs::remove(program);
    temp.write("app/vyrpm.old", "previous update");
    EXPECT_FALSE(SelfUpdate::makeRoom(message, program));
    EXPECT_EQ(message, "Could not move " + program + " out of the way");
    EXPECT_FALSE(fs::exists(oldFile));
}

TEST_F(SelfUpdateFiles, RestoreBringsTheOldFileBackOnlyWhenTheCopyLeftNoProgram)
{
    ASSERT_TRUE(SelfUpdate::makeRoom(message, program));
    // A failed copy leaves no program file.
    SelfUpdate::restore(program);
    EXPECT_EQ(testSupport::readFile(program), argumentRecorder);
    EXPECT_FALSE(fs::exists(oldFile));
    EXPECT_EQ(fs::status(program).permissions() & fs::perms::owner_exec, fs::perms::owner_exec);

    // A successful copy put the new program in place.
    ASSERT_TRUE(SelfUpdate::makeRoom(message, program));
    temp.write("app/vyrpm", "new build");
    SelfUpdate::restore(program);
    EXPECT_EQ(testSupport::readFile(program), "new build");
    EXPECT_EQ(testSupport::readFile(oldFile), argumentRecorder);
    EXPECT_EQ(logText(), "");
}

TEST_F(SelfUpdateFiles, RestartPassesExactlyOneMarkerAtTheEnd)
{
    const std::pair<std::string, Texts> cases[] = {
        {"", {"--updated"}},
        {"  --updated ", {"--updated"}},
        {"install Foo --updated --format VST3", {"install", "Foo", "--format", "VST3", "--updated"}},
        {"--updated --updated list", {"list", "--updated"}},
        {"--updated--updated list --updated", {"--updated--updated", "list", "--updated"}},
        // Only a marker of its own is removed; a value that contains it arrives whole.
        {"--settings /home/u/--updated-settings", {"--settings", "/home/u/--updated-settings", "--updated"}},
        {"--UPDATED", {"--UPDATED", "--updated"}},
    };
    for (const auto& [arguments, received] : cases)
    {
        SCOPED_TRACE(arguments);
        fs::remove(temp.file("app/arguments.txt"));
        message = "untouched";
        ASSERT_TRUE(SelfUpdate::restart(arguments, message, program)) << message;
        EXPECT_EQ(message, "untouched");
        EXPECT_EQ(receivedArguments(), received);
    }
}

TEST_F(SelfUpdateFiles, RestartFailsWithoutARunnableProgram)
{
    fs::permissions(program, fs::perms::owner_read | fs::perms::owner_write);
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

    temp.write("app/vyrpm.old/inside/file", "previous update");
    SelfUpdate::cleanUp(program);
    EXPECT_FALSE(fs::exists(oldFile));
    EXPECT_EQ(testSupport::readFile(program), argumentRecorder);
    EXPECT_NE(logText().find("  Removing the previous version at " + oldFile + ": ok"), std::string::npos) << logText();
}

TEST_F(SelfUpdateFiles, CanUpdateInPlaceOnlyWhereAFileCanBeCreated)
{
    message = "untouched";
    EXPECT_TRUE(SelfUpdate::canUpdateInPlace(message, temp.file("app")));
    EXPECT_EQ(message, "untouched");
    EXPECT_FALSE(temp.exists("app/.vyr-write-test"));

    // Readable by the unprivileged user a root run drops to, but not writable by anyone but root.
    fs::permissions(temp.path(), fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
    fs::permissions(temp.file("app"), fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read
                                          | fs::perms::others_exec);
    const std::string folder = temp.file("app");
    const int code = testSupport::runInChild([&folder] {
        if (!testSupport::dropRootPrivileges())
            return 10;
        std::string childMessage;
        if (SelfUpdate::canUpdateInPlace(childMessage, folder))
            return 1;
        return childMessage == "VYR Plugin Manager is installed in " + folder
                                   + ", which this program may not write to. Move it to a folder of your own"
                                     " to update it from here, or replace it by hand."
                   ? 0
                   : 2;
    });
    if (code == 10)
        GTEST_SKIP() << "could not drop root rights to make the folder unwritable";
    EXPECT_EQ(code, 0) << "1: reported writable, 2: another message";
}
