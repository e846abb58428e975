#include "support/childProcess.h"
#include "support/processRunner.h"
#include "support/tempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;
using testSupport::ProcessResult;
using testSupport::TempFolder;

namespace
{
const std::string notUnderstood = "The plugin manager asked itself for something it does not understand.";

// The program started as the requesting side would start it, in a working folder of its own so
// that a stray file it writes shows up there.
class ElevatedWorker : public ::testing::Test
{
protected:
    ProcessResult run(const std::vector<std::string>& arguments) const
    {
        testSupport::ProcessOptions options;
        options.environment = testSupport::homeEnvironment(temp.file("home"));
        options.workingFolder = temp.path();
        return testSupport::runProcess(VYRPM_TEST_BINARY, arguments, options);
    }

    std::vector<std::string> worker(const std::vector<std::string>& rest) const
    {
        std::vector<std::string> arguments{"--elevated-task", temp.file("result.txt")};
        arguments.insert(arguments.end(), rest.begin(), rest.end());
        return arguments;
    }

    size_t entriesInWorkFolder() const
    {
        return static_cast<size_t>(std::distance(fs::directory_iterator(temp.path()), fs::directory_iterator()));
    }

    TempFolder temp;
};
}

TEST_F(ElevatedWorker, EachVerbDoesItsJob)
{
    temp.write("src/Synth.vst3/inside", "new");
    temp.write("gone/a", "a");
    temp.write("gone/b", "b");
    temp.write("list.txt", "\n" + temp.file("gone/a") + "\r\n   \r\n" + temp.file("gone/b") + "\r\n" + temp.file("never"));

    EXPECT_EQ(run(worker({"copy", temp.file("src"), temp.file("dest")})).exitCode, 0);
    EXPECT_EQ(temp.read("dest/Synth.vst3/inside"), "new");
    EXPECT_EQ(run(worker({"remove", temp.file("dest")})).exitCode, 0);
    EXPECT_FALSE(temp.exists("dest"));
    EXPECT_EQ(run(worker({"remove", temp.file("never")})).exitCode, 0);
    EXPECT_EQ(run(worker({"removemany", temp.file("list.txt")})).exitCode, 0);
    EXPECT_FALSE(temp.exists("gone/a") || temp.exists("gone/b"));
    EXPECT_FALSE(temp.exists("result.txt"));
}

TEST_F(ElevatedWorker, FailuresWriteTheirMessageWithCrlfLineEnds)
{
    temp.write("blank.txt", "\n  \r\n\t\n");
    temp.write("unpaired.txt", "only a source\r\n");
    struct Case
    {
        std::vector<std::string> rest;
        std::string result;
    };
    const Case cases[] = {
        {{"copy", temp.file("missing"), temp.file("dest")}, "There is nothing to install in " + temp.file("missing") + "."},
        {{"copy", temp.file("src")}, notUnderstood},
        {{"removemany"}, notUnderstood},
        {{"Copy", "a", "b"}, notUnderstood},
        {{"removemany", temp.file("blank.txt")}, "The plugin manager asked for a removal with nothing in it."},
        {{"copymany", temp.file("unpaired.txt")}, "The plugin manager asked for an install with nothing in it."},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.rest.front());
        fs::remove(temp.file("result.txt"));
        EXPECT_EQ(run(worker(c.rest)).exitCode, 1);
        EXPECT_EQ(temp.read("result.txt"), c.result);
    }
    EXPECT_FALSE(temp.exists("dest"));
}

TEST_F(ElevatedWorker, WithoutAResultFileNothingIsWritten)
{
    const size_t before = entriesInWorkFolder();
    EXPECT_EQ(run({"--elevated-task"}).exitCode, 1);
    EXPECT_EQ(run({"--elevated-task", "", "remove"}).exitCode, 1);
    EXPECT_EQ(entriesInWorkFolder(), before);
}

TEST_F(ElevatedWorker, CopyManyPairsLinesByPositionAndReportsEachCopy)
{
    temp.write("one/A.clap", "1");
    temp.write("two/B.clap", "2");
    temp.write("three/C.clap", "3");
    // Line 2 is empty: the first pair is dropped and the next is not shifted onto the wrong
    // destination; the fifth line has no partner.
    temp.write("vyr-elevated-jobs-1.txt", temp.file("one") + "\r\n\r" + temp.file("two") + "\n" + temp.file("to2")
                                              + "\r\n" + temp.file("three") + "\r\n");
    EXPECT_EQ(run(worker({"copymany", temp.file("vyr-elevated-jobs-1.txt")})).exitCode, 0);
    EXPECT_EQ(temp.read("vyr-elevated-jobs-1.done"), "1\r\n");
    EXPECT_EQ(temp.read("to2/B.clap"), "2");
    EXPECT_FALSE(temp.exists("two/A.clap") || temp.exists("to2/A.clap"));

    // Every copy failing is still a run that did its job: the outcome is in the results file.
    temp.write("vyr-elevated-jobs-2.txt", temp.file("none1") + "\r\n" + temp.file("x") + "\r\n" + temp.file("none2")
                                              + "\r\n" + temp.file("y") + "\r\n");
    EXPECT_EQ(run(worker({"copymany", temp.file("vyr-elevated-jobs-2.txt")})).exitCode, 0);
    EXPECT_EQ(temp.read("vyr-elevated-jobs-2.done"), "0\r\n0\r\n");
    EXPECT_FALSE(temp.exists("result.txt"));
}

TEST_F(ElevatedWorker, RemoveManyTriesEveryPathAndNamesTheFirstThatStays)
{
    temp.write("locked/held.so", "x");
    temp.write("open/free.so", "x");
    temp.write("open/list.txt", temp.file("locked/held.so") + "\n" + temp.file("open/free.so") + "\n");
    // Reachable by the unprivileged user a root run drops to; only "open" takes changes from it.
    fs::permissions(temp.path(), fs::perms::others_read | fs::perms::others_exec, fs::perm_options::add);
    fs::permissions(temp.file("locked"), fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
    fs::permissions(temp.file("locked"), fs::perms::owner_write, fs::perm_options::remove);
    fs::permissions(temp.file("open"), fs::perms::all);

    const std::vector<std::string> arguments{"--elevated-task", temp.file("open/result.txt"), "removemany",
                                             temp.file("open/list.txt")};
    const int code = testSupport::runInChild([this, &arguments] {
        if (!testSupport::dropRootPrivileges())
            return 10;
        const ProcessResult result = run(arguments);
        return result.started ? result.exitCode : 11;
    });
    fs::permissions(temp.file("locked"), fs::perms::owner_write, fs::perm_options::add);
    if (code == 10)
        GTEST_SKIP() << "could not drop root rights, so every path can be removed";
    EXPECT_EQ(code, 1);
    EXPECT_TRUE(temp.exists("locked/held.so"));
    EXPECT_FALSE(temp.exists("open/free.so"));
    EXPECT_EQ(temp.read("open/result.txt"),
              "Could not remove " + temp.file("locked/held.so") + ".\r\n\r\nIt may be open in a host.");
}

TEST_F(ElevatedWorker, LaterInTheArgumentsItIsAnOrdinaryOption)
{
    temp.write("keep", "x");
    const ProcessResult result = run({"help", "--elevated-task", temp.file("result.txt"), "remove", temp.file("keep")});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out.rfind("VYR Plugin Manager 2.2.27 (headless)\n", 0), 0u);
    EXPECT_TRUE(temp.exists("keep"));
    EXPECT_FALSE(temp.exists("result.txt"));
}
