#include "installFixture.h"

using namespace installTests;

namespace
{
const std::string notUnderstood = "The plugin manager asked itself for something it does not understand.";

// The program started as the requesting side would start it, in a working folder of its own so
// that a stray file it writes shows up there.
struct ElevatedWorker : InstallFixture
{
    testSupport::ProcessResult run(const Lines& arguments, const std::string& program = VYRPM_TEST_BINARY) const
    {
        return testSupport::runProcess(program, arguments,
                                       {testSupport::homeEnvironment(root.file("home")), root.path()});
    }

    std::string at(const std::string& relative) const { return root.file(relative); }
    const std::string resultFile = root.file("result.txt");
};
}

TEST_F(ElevatedWorker, EachVerbAndItsFailureMessageWithCrlfLineEnds)
{
    // Line 2 of jobs-1 is empty: that pair is dropped without shifting the next onto the wrong
    // destination; its fifth line has no partner.
    write({{"src/Synth.vst3/inside", "new"}, {"gone/a", "a"}, {"gone/b", "b"}, {"blank.txt", "\n  \r\n"},
           {"list.txt", "\n" + at("gone/a") + "\r\n   \r\n" + at("never") + "\r" + at("gone")},
           {"one/A.clap", "1"}, {"two/B.clap", "2"},
           {"jobs-1.txt", at("one") + "\r\n\r" + at("two") + "\n" + at("to") + "\r\n" + at("one") + "\r\n"},
           {"jobs-2.txt", at("no1") + "\n" + at("x") + "\n" + at("no2") + "\n" + at("y") + "\n" + at("src") + "\n" +
                              at("src/")}});
    // Paths are taken as they stand or not at all, and a list is refused whole before anything is done.
    write({{"home/keep", "x"}, {"kept/sub/a", "a"}, {"target/a", "a"}, {"caf\xc3\xa9/a", "a"},
           {"dots.txt", at("link") + "/.\n"}, {"relative.txt", "one\n" + at("to") + "\n"},
           {"latin1.txt", at("caf\xe9") + "\n"}, {"nul.txt", at("kept") + "\n" + std::string(1, '\0') + "\n"},
           {"large.txt", std::string(5 * 1024 * 1024, 'x')}});
    fs::create_directory_symlink(at("target"), at("link"));
    makeLink("src", at("alias"));
    const auto refused = [](const std::string& path) {
        return "Could not use " + path + ": the plugin manager names every file by its full path, in UTF-8 and "
               "without \".\" or \"..\" parts.\r\n\r\nNothing was changed.";
    };
    const auto unread = [](const std::string& path, const std::string& reason) {
        return "Could not read " + path + ": it is " + reason + ".\r\n\r\nNothing was changed.";
    };
    const std::string notText = "not UTF-8 text without NUL bytes";
    const auto ontoItself = [&](const std::string& source, const std::string& destination) {
        return "Could not copy " + at(source) + " into " + at(destination) +
               ": the destination is the source folder or lies inside it.\r\n\r\nBoth were left as they were.";
    };
    // the verb and its arguments, exit code, result file (empty: none written)
    const std::tuple<Lines, int, std::string> cases[] = {
        {{"copy", at("src"), at("dest")}, 0, ""},
        {{"remove", at("gone/b")}, 0, ""},
        {{"remove", at("never")}, 0, ""},
        {{"removemany", at("list.txt")}, 0, ""},
        {{"copymany", at("jobs-1.txt")}, 0, ""},
        // Every copy failing is still a run that did its job: the outcome is in the results file.
        {{"copymany", at("jobs-2.txt")}, 0, ""},
        {{"copy", at("none"), at("x")}, 1, "There is nothing to install in " + at("none") + "."},
        // One folder by another name: each item would be moved aside with nothing left to copy back.
        {{"copy", at("src"), at("alias")}, 1, ontoItself("src", "alias")},
        // Copying into itself would copy its own copies without end.
        {{"copy", at("alias"), at("src/Synth.vst3/in")}, 1, ontoItself("alias", "src/Synth.vst3/in")},
        {{"copy", at("src")}, 1, notUnderstood},
        {{"Remove", "a"}, 1, notUnderstood},
        {{"removemany", at("blank.txt")}, 1, "The plugin manager asked for a removal with nothing in it."},
        {{"copymany", at("blank.txt")}, 1, "The plugin manager asked for an install with nothing in it."},
        {{"remove", "~"}, 1, refused("~")},
        {{"remove", at("kept/sub/..")}, 1, refused(at("kept/sub/.."))},
        // Overlong forms of ".", which the framework would decode into ".." after the check.
        {{"remove", at("kept/sub/.\xE0\x80\xAE")}, 1, refused(at("kept/sub/.\xE0\x80\xAE"))},
        {{"remove", at("kept/sub/.\xF0\x80\x80\xAE")}, 1, refused(at("kept/sub/.\xF0\x80\x80\xAE"))},
        {{"removemany", at("dots.txt")}, 1, refused(at("link") + "/.")},
        {{"removemany", "list.txt"}, 1, refused("list.txt")},
        {{"copy", "src", at("dest2")}, 1, refused("src")},
        {{"copymany", at("relative.txt")}, 1, refused("one")},
        {{"removemany", at("latin1.txt")}, 1, unread(at("latin1.txt"), notText)},
        {{"removemany", at("nul.txt")}, 1, unread(at("nul.txt"), notText)},
        // A FIFO would hold the worker, a device feed it without end: neither is a regular file.
        {{"copymany", "/dev/zero"}, 1, unread("/dev/zero", "not a regular file")},
        {{"copymany", at("large.txt")}, 1, unread(at("large.txt"), "larger than any list the plugin manager writes")},
    };
    for (const auto& [verb, exitCode, result] : cases)
    {
        fs::remove(resultFile);
        Lines arguments{"--elevated-task", resultFile};
        arguments.insert(arguments.end(), verb.begin(), verb.end());
        EXPECT_EQ(run(arguments).exitCode, exitCode) << verb.front() << " " << verb.size();
        EXPECT_EQ(testSupport::readFile(resultFile), result) << verb.front() << " " << verb.size();
    }
    EXPECT_EQ(root.read("jobs-1.done") + root.read("jobs-2.done"), "1\r\n0\r\n0\r\n0\r\n");
    EXPECT_EQ(describeTree(at("src")), describeTree(at("dest")));
    EXPECT_EQ(root.read("to/B.clap"), "2");
    EXPECT_FALSE(root.exists("gone") || root.exists("x") || root.exists("two/A.clap") || root.exists("to/A.clap"));
    EXPECT_TRUE(root.exists("home/keep") && root.exists("kept/sub/a") && root.exists("target/a") &&
                root.exists("caf\xc3\xa9/a") && !root.exists("dest2"));

    // Without a result file nothing is written; one that is no full path is none, and refuses the job.
    fs::remove(resultFile);
    for (const Lines& arguments : {Lines{"--elevated-task"}, Lines{"--elevated-task", "", "remove"},
                                   Lines{"--elevated-task", "result.txt", "remove", at("home/keep")}})
        EXPECT_EQ(run(arguments).exitCode, 1) << arguments.size();
    EXPECT_FALSE(root.exists("result.txt") || root.exists("home/result.txt"));
    // After a command the marker is an ordinary option.
    const auto help = run({"help", "--elevated-task", resultFile, "remove", at("home/keep")}).out;
    EXPECT_EQ(help.rfind("VYR Plugin Manager 2.2.27 (headless)\n", 0), 0u);
    EXPECT_TRUE(root.exists("home/keep"));
}

TEST_F(ElevatedWorker, RemoveManyTriesEveryPathAndNamesTheFirstThatStays)
{
    write({{"locked/held.so", "x"}, {"open/free.so", "x"}, {"open/list.txt", at("locked/held.so") + "\n" +
                                                                                   at("open/free.so") + "\n"}});
    openTo(root.path(), false);
    openTo(at("open"), true);
    fs::permissions(at("locked"), fs::perms(0555));
    // A copy of the program beside the files: the build folder may lie where "nobody" cannot go.
    fs::copy_file(VYRPM_TEST_BINARY, at("vyrpm"));
    EXPECT_EQ(asNobody([&] {
                  const Lines arguments{"--elevated-task", at("open/result.txt"), "removemany", at("open/list.txt")};
                  return std::to_string(run(arguments, at("vyrpm")).exitCode);
              }),
              "1");
    fs::permissions(at("locked"), fs::perms::owner_all);
    EXPECT_TRUE(root.exists("locked/held.so"));
    EXPECT_FALSE(root.exists("open/free.so"));
    EXPECT_EQ(root.read("open/result.txt"),
              "Could not remove " + at("locked/held.so") + ".\r\n\r\nIt may be open in a host.");
}
