#include "manager/install/selfUpdate.h"

#include "installFixture.h"

#include <cerrno>
#include <cstring>

using namespace pluginManager;
using namespace installTests;

namespace
{
// The running program's stand-in: writes its arguments, one a line, beside itself, the file appearing whole.
const char* const recorder = "#!/bin/sh\nd=$(dirname \"$0\")\nfor a in \"$@\"; do echo \"$a\"; done > \"$d/args.tmp\"\n"
                             "mv \"$d/args.tmp\" \"$d/args.txt\"\n";

class SelfUpdateFiles : public InstallFixture
{
protected:
    void SetUp() override
    {
        InstallFixture::SetUp();
        root.write("it's/vyrpm", recorder);
        fs::permissions(program, fs::perms::owner_all);
        message = "untouched";
    }

    // A quote in the folder's name would end a shell's word.
    const std::string program = root.file("it's/vyrpm");
    const std::string oldFile = program + ".old";
};
}

TEST(SelfUpdate, TheProgramFileIsTheRunningExecutableHoweverItWasStarted)
{
    const std::string running = fs::read_symlink("/proc/self/exe").string();
    const std::string name = fs::path(running).filename().string();
    testSupport::TempFolder elsewhere;
    elsewhere.write(name, "an unrelated file of the same name");
    // Found through PATH, a program gets its bare name as argv[0], whatever folder it runs in.
    EXPECT_EQ(testSupport::runInChild([&] {
                  std::strcpy(program_invocation_name, name.c_str());
                  return chdir(elsewhere.path().c_str()) == 0 && SelfUpdate::appFile() == running ? 0 : 1;
              }),
              0);
}

TEST_F(SelfUpdateFiles, TheProgramFileMovesAsideComesBackOnlyAfterAFailedCopyAndItsFolderMustTakeNewFiles)
{
    // A left-over ".old" that is a link goes, not what it leads to.
    root.write("elsewhere/keep", "not ours");
    fs::create_directory_symlink(root.file("elsewhere"), oldFile);
    EXPECT_TRUE(SelfUpdate::makeRoom(message, program));
    EXPECT_EQ(root.read("elsewhere/keep"), "not ours");
    // A failed copy: the program comes back. A successful one: both stay.
    SelfUpdate::restore(program);
    EXPECT_EQ(testSupport::readFile(program), recorder);
    EXPECT_TRUE(SelfUpdate::makeRoom(message, program));
    root.write("it's/vyrpm", "new build");
    SelfUpdate::restore(program);
    EXPECT_EQ(testSupport::readFile(program) + testSupport::readFile(oldFile), "new build" + std::string(recorder));
    EXPECT_EQ(message, "untouched");

    // Only a clean-up that finds the old file tells so.
    SelfUpdate::cleanUp(program);
    SelfUpdate::cleanUp(program);
    EXPECT_EQ(logMessages(), Lines{"Removing the previous version at " + oldFile + ": ok"});
    EXPECT_TRUE(!fs::exists(oldFile) && fs::exists(program));
    fs::remove(program);
    EXPECT_FALSE(SelfUpdate::makeRoom(message, program));
    EXPECT_EQ(message, "Could not move " + program + " out of the way");

    const std::string folder = root.file("it's");
    EXPECT_TRUE(SelfUpdate::canUpdateInPlace(message, folder));
    openTo(root.path(), false);
    openTo(folder, false);
    EXPECT_EQ(asNobody([&] { return SelfUpdate::canUpdateInPlace(message, folder) ? "writable" : message; }),
              "VYR Plugin Manager is installed in " + folder + ", which this program may not write to. Move it to a "
              "folder of your own to update it from here, or replace it by hand.");
}

TEST_F(SelfUpdateFiles, RestartPassesExactlyOneMarkerAtTheEndAndNoShellReadsAnything)
{
    const std::string touched = root.file("touched"), received = root.file("it's/args.txt");
    // arguments, what the program receives
    const std::pair<std::string, std::string> cases[] = {
        // Only a marker standing alone is one; a value holding its letters arrives whole.
        {"  --settings /u/--updated-x --updated --updated ", "--settings\n/u/--updated-x\n--updated\n"},
        {"list; touch " + touched + " #", "list;\ntouch\n" + touched + "\n#\n--updated\n"},
        // A word in double quotes keeps its blanks, as the framework joins a command line.
        {"--settings \"/my folder\"", "--settings\n/my folder\n--updated\n"},
    };
    for (const auto& [arguments, expected] : cases)
    {
        fs::remove(received);
        ASSERT_TRUE(SelfUpdate::restart(arguments, message, program)) << message;
        for (int waited = 0; waited < 60000 && !fs::exists(received); waited += 20)
            juce::Thread::sleep(20);
        EXPECT_EQ(testSupport::readFile(received), expected);
    }
    EXPECT_FALSE(root.exists("touched"));
    EXPECT_EQ(message, "untouched");
    EXPECT_TRUE(SelfUpdate::isRestart({"list", "--updated"}));
    EXPECT_FALSE(SelfUpdate::isRestart({"--UPDATED", "--updated=1", " --updated"}));
    // A program whose start fails is reported, not only one that is not executable.
    root.write("it's/broken", "#!/no/such/interpreter\n");
    fs::permissions(root.file("it's/broken"), fs::perms::owner_all);
    EXPECT_FALSE(SelfUpdate::restart("list", message, root.file("it's/broken")));
    EXPECT_EQ(message, "Could not start " + root.file("it's/broken"));
}

