#include "installFixture.h"

using namespace installTests;

namespace
{
const std::string notUnderstood = "The plugin manager asked itself for something it does not understand.";

std::string refused(const std::string& path)
{
    return "Could not use " + path + ": the plugin manager names every file by its full path, in UTF-8 and without "
           "\".\" or \"..\" parts.\r\n\r\nNothing was changed.";
}

std::string unread(const std::string& path, const std::string& reason)
{
    return "Could not read " + path + ": it is " + reason + ".\r\n\r\nNothing was changed.";
}

// The program started as the requesting side would start it, in a working folder of its own so
// that a stray file it writes shows up there.
struct ElevatedWorker : ::testing::Test
{
    testSupport::ProcessResult run(const Lines& arguments, const std::string& program = VYRPM_TEST_BINARY) const
    {
        testSupport::ProcessOptions options;
        options.environment = testSupport::homeEnvironment(temp.file("home"));
        options.workingFolder = temp.path();
        return testSupport::runProcess(program, arguments, options);
    }

    testSupport::TempFolder temp;
    const std::string resultFile = temp.file("result.txt");
};
}

TEST_F(ElevatedWorker, EachVerbAndItsFailureMessageWithCrlfLineEnds)
{
    temp.write("src/Synth.vst3/inside", "new");
    temp.write("gone/a", "a");
    temp.write("gone/b", "b");
    temp.write("list.txt", "\n" + temp.file("gone/a") + "\r\n   \r\n" + temp.file("never") + "\r" + temp.file("gone"));
    temp.write("blank.txt", "\n  \r\n");
    temp.write("one/A.clap", "1");
    temp.write("two/B.clap", "2");
    // Line 2 is empty: that pair is dropped without shifting the next onto the wrong destination;
    // the fifth line has no partner.
    temp.write("jobs-1.txt", temp.file("one") + "\r\n\r" + temp.file("two") + "\n" + temp.file("to") + "\r\n" +
                                 temp.file("one") + "\r\n");
    temp.write("jobs-2.txt", temp.file("no1") + "\n" + temp.file("x") + "\n" + temp.file("no2") + "\n" +
                                 temp.file("y") + "\n" + temp.file("src") + "\n" + temp.file("src/"));
    // Paths are taken as they stand or not at all, and a list is refused whole before anything is done.
    temp.write("home/keep", "x");
    temp.write("kept/sub/a", "a");
    temp.write("target/a", "a");
    fs::create_directory_symlink(temp.file("target"), temp.file("link"));
    temp.write("caf\xc3\xa9/a", "a");
    temp.write("dots.txt", temp.file("link") + "/.\n");
    temp.write("relative.txt", "one\n" + temp.file("to") + "\n");
    temp.write("latin1.txt", temp.file("caf\xe9") + "\n");
    temp.write("nul.txt", temp.file("kept") + "\n" + std::string(1, '\0') + "\n");
    temp.write("large.txt", temp.file("kept") + std::string(5 << 20, '\n'));
    const std::string notText = "not UTF-8 text without NUL bytes";
    const std::string tooLarge = "larger than any list the plugin manager writes";
    makeLink("src", temp.file("alias"));
    const auto ontoItself = [&](const std::string& source, const std::string& destination) {
        return "Could not copy " + temp.file(source) + " into " + temp.file(destination) +
               ": the destination is the source folder or lies inside it.\r\n\r\nBoth were left as they were.";
    };
    // the verb and its arguments, exit code, result file (empty: none written)
    const std::tuple<Lines, int, std::string> cases[] = {
        {{"copy", temp.file("src"), temp.file("dest")}, 0, ""},
        {{"remove", temp.file("gone/b")}, 0, ""},
        {{"remove", temp.file("never")}, 0, ""},
        {{"removemany", temp.file("list.txt")}, 0, ""},
        {{"copymany", temp.file("jobs-1.txt")}, 0, ""},
        // Every copy failing is still a run that did its job: the outcome is in the results file.
        {{"copymany", temp.file("jobs-2.txt")}, 0, ""},
        {{"copy", temp.file("none"), temp.file("x")}, 1, "There is nothing to install in " + temp.file("none") + "."},
        // One folder by any name: each item would be moved aside with nothing left to copy back.
        {{"copy", temp.file("src"), temp.file("src/")}, 1, ontoItself("src", "src")},
        {{"copy", temp.file("src"), temp.file("alias")}, 1, ontoItself("src", "alias")},
        // Copying into itself would copy its own copies without end.
        {{"copy", temp.file("alias"), temp.file("src/Synth.vst3/in")}, 1, ontoItself("alias", "src/Synth.vst3/in")},
        {{"copy", temp.file("src")}, 1, notUnderstood},
        {{"Remove", "a"}, 1, notUnderstood},
        {{"removemany", temp.file("blank.txt")}, 1, "The plugin manager asked for a removal with nothing in it."},
        {{"copymany", temp.file("blank.txt")}, 1, "The plugin manager asked for an install with nothing in it."},
        {{"remove", "~"}, 1, refused("~")},
        {{"remove", temp.file("kept/sub/..")}, 1, refused(temp.file("kept/sub/.."))},
        {{"removemany", temp.file("dots.txt")}, 1, refused(temp.file("link") + "/.")},
        {{"removemany", "list.txt"}, 1, refused("list.txt")},
        {{"copy", "src", temp.file("dest2")}, 1, refused("src")},
        {{"copymany", temp.file("relative.txt")}, 1, refused("one")},
        {{"removemany", temp.file("latin1.txt")}, 1, unread(temp.file("latin1.txt"), notText)},
        {{"removemany", temp.file("nul.txt")}, 1, unread(temp.file("nul.txt"), notText)},
        {{"removemany", temp.file("large.txt")}, 1, unread(temp.file("large.txt"), tooLarge)},
        {{"copymany", "/dev/zero"}, 1, unread("/dev/zero", tooLarge)},
    };
    for (const auto& [verb, exitCode, result] : cases)
    {
        fs::remove(resultFile);
        Lines arguments{"--elevated-task", resultFile};
        arguments.insert(arguments.end(), verb.begin(), verb.end());
        EXPECT_EQ(run(arguments).exitCode, exitCode) << verb.front() << " " << verb.size();
        EXPECT_EQ(testSupport::readFile(resultFile), result) << verb.front() << " " << verb.size();
    }
    EXPECT_EQ(temp.read("dest/Synth.vst3/inside"), "new");
    EXPECT_EQ(temp.read("jobs-1.done"), "1\r\n");
    EXPECT_EQ(temp.read("jobs-2.done"), "0\r\n0\r\n0\r\n");
    EXPECT_EQ(describeTree(temp.file("src")), describeTree(temp.file("dest")));
    EXPECT_EQ(temp.read("to/B.clap"), "2");
    EXPECT_FALSE(temp.exists("gone") || temp.exists("x") || temp.exists("two/A.clap") || temp.exists("to/A.clap"));
    EXPECT_TRUE(temp.exists("home/keep") && temp.exists("kept/sub/a") && temp.exists("target/a") &&
                temp.exists("caf\xc3\xa9/a") && !temp.exists("dest2"));
}

TEST_F(ElevatedWorker, WithoutAResultFileNothingIsWrittenAndLaterItIsAnOrdinaryOption)
{
    temp.write("keep", "x");
    EXPECT_EQ(run({"--elevated-task"}).exitCode, 1);
    EXPECT_EQ(run({"--elevated-task", "", "remove"}).exitCode, 1);
    // A result file that is no full path is none to write into: the job is refused.
    EXPECT_EQ(run({"--elevated-task", "result.txt", "remove", temp.file("keep")}).exitCode, 1);
    EXPECT_EQ(std::distance(fs::directory_iterator(temp.path()), fs::directory_iterator()), 1);

    const auto help = run({"help", "--elevated-task", resultFile, "remove", temp.file("keep")});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.out.rfind("VYR Plugin Manager 2.2.27 (headless)\n", 0), 0u);
    EXPECT_TRUE(temp.exists("keep"));
}

TEST_F(ElevatedWorker, RemoveManyTriesEveryPathAndNamesTheFirstThatStays)
{
    temp.write("locked/held.so", "x");
    temp.write("open/free.so", "x");
    temp.write("open/list.txt", temp.file("locked/held.so") + "\n" + temp.file("open/free.so") + "\n");
    openTo(temp.path(), false);
    openTo(temp.file("open"), true);
    fs::permissions(temp.file("locked"), fs::perms(0555));
    // A copy of the program beside the files: the build folder may lie where "nobody" cannot go.
    const auto program = temp.file("vyrpm");
    fs::copy_file(VYRPM_TEST_BINARY, program);
    EXPECT_EQ(asNobody([&] {
                  return std::to_string(run({"--elevated-task", temp.file("open/result.txt"), "removemany",
                                             temp.file("open/list.txt")},
                                            program)
                                            .exitCode);
              }),
              "1");
    fs::permissions(temp.file("locked"), fs::perms::owner_all);
    EXPECT_TRUE(temp.exists("locked/held.so"));
    EXPECT_FALSE(temp.exists("open/free.so"));
    EXPECT_EQ(temp.read("open/result.txt"),
              "Could not remove " + temp.file("locked/held.so") + ".\r\n\r\nIt may be open in a host.");
}
