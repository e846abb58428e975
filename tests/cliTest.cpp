#include "cli/output.h"
#include "support/processRunner.h"
#include "support/tempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>
#include <sstream>

using testSupport::ProcessResult;
using testSupport::TempFolder;

namespace
{
const std::string usageText =
    "VYR Plugin Manager 2.2.27 (headless)\n"
    "\n"
    "  vyrpm list [<product>]\n"
    "  vyrpm install <product> [--format <format>] [--version <version>]\n"
    "  vyrpm uninstall <product> [--format <format>]\n"
    "  vyrpm login <internal|donators> [<product>] --user <user> --password <password>\n"
    "  vyrpm logout <internal|donators> [<product>]\n"
    "  vyrpm paths [<format> <location>|<format> default]\n"
    "  vyrpm changelog <product> [--version <version>] [--format text|markdown] [--out <file>]\n"
    "\n"
    "--settings <folder> works with any of them, and puts the logins, the locations, the\n"
    "record of what is installed and the log somewhere other than where this machine keeps\n"
    "its own.\n"
    "\n"
    "list and install take --user/--password for this run only, with --channel (internal by\n"
    "default) and --product saying which channel the login is for. A login stored by login or\n"
    "by the GUI is used when none is given.\n"
    "\n"
    "list prints one build per line, separated by tabs: product, format, version, channel, and\n"
    "the version of that format that is installed (empty when none is, or when the format\n"
    "cannot say - see the notes in installedPlugins).\n";

// Runs the program with a fresh, empty home folder and nothing else of this machine's per-user
// folders, so any settings file, log or data folder a run creates shows up below home.
class CliRun : public ::testing::Test
{
protected:
    ProcessResult run(const std::vector<std::string>& arguments)
    {
        testSupport::ProcessOptions options;
        options.environment = testSupport::homeEnvironment(home.path());
        options.workingFolder = home.path();
        ProcessResult result = testSupport::runProcess(VYRPM_BINARY, arguments, options);
        EXPECT_TRUE(result.started) << result.error;
        EXPECT_FALSE(result.timedOut);
        return result;
    }

    bool homeIsEmpty() const { return std::filesystem::is_empty(home.path()); }

    void expectUsageAfterError(const ProcessResult& result, const std::string& message)
    {
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.err, message + "\n\n");
        EXPECT_EQ(result.out, usageText);
        EXPECT_TRUE(homeIsEmpty());
    }

    void expectUsageOnly(const ProcessResult& result)
    {
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.out, usageText);
        EXPECT_TRUE(homeIsEmpty());
    }

    TempFolder home;
};

// Swaps a standard stream's buffer for a string for the lifetime of the object.
class CapturedStream
{
public:
    explicit CapturedStream(std::ostream& stream) : m_stream(stream), m_old(stream.rdbuf(m_text.rdbuf())) {}
    ~CapturedStream() { m_stream.rdbuf(m_old); }
    std::string text() const { return m_text.str(); }

private:
    std::ostream& m_stream;
    std::ostringstream m_text;
    std::streambuf* m_old;
};
}

TEST_F(CliRun, NoArgumentsPrintsUsage)
{
    expectUsageOnly(run({}));
}

TEST_F(CliRun, HelpCommandOrHelpOptionPrintsUsage)
{
    expectUsageOnly(run({"help"}));
    expectUsageOnly(run({"list", "--help", "x"}));
    // Help is answered before the settings folder is touched, and before the command is looked at.
    expectUsageOnly(run({"help", "--settings", home.file("settings")}));
    expectUsageOnly(run({"nosuchcommand", "--help="}));
}

TEST_F(CliRun, TrailingOptionIsMissingItsValue)
{
    expectUsageAfterError(run({"--help"}), "Missing value for --help");
    expectUsageAfterError(run({"help", "--settings"}), "Missing value for --settings");
    expectUsageAfterError(run({"list", "--user", "--password", "x"}), "Missing value for --user");
}

TEST_F(CliRun, OptionsWithoutCommand)
{
    expectUsageAfterError(run({"--settings", home.file("settings")}), "No command given");
    expectUsageAfterError(run({"--format=VST3", "--out", "x"}), "No command given");
}

TEST_F(CliRun, UnknownCommand)
{
    expectUsageAfterError(run({"frobnicate", "--settings", home.file("settings")}), "Unknown command: frobnicate");
    // Command words are compared exactly.
    expectUsageAfterError(run({"List"}), "Unknown command: List");
    expectUsageAfterError(run({"-", "list"}), "Unknown command: -");
}

// Only words whose commands stop before going to the network without a product or channel, so
// the run stays on this machine.
TEST_F(CliRun, EveryCommandWordReachesItsHandler)
{
    for (const std::string word : {"install", "login", "logout", "share", "teamlogin", "paths", "uninstall", "changelog"})
    {
        const ProcessResult result = run({word, "--settings", home.file("settings")});
        EXPECT_EQ(result.err.find("Unknown command"), std::string::npos) << word << ": " << result.err;
        EXPECT_EQ(result.out.find("(headless)"), std::string::npos) << word;
    }
}

TEST(CliOutput, EmptyPathPrintsTheTextWithANewline)
{
    CapturedStream out(std::cout), err(std::cerr);
    EXPECT_EQ(pluginManager::output("a\tb", ""), 0);
    EXPECT_EQ(out.text(), "a\tb\n");
    EXPECT_EQ(err.text(), "");
}

TEST(CliOutput, FileReceivesTheTextExactly)
{
    TempFolder folder;
    const std::string path = folder.file("out.txt");
    folder.write("out.txt", "an older and much longer content than the new one");

    CapturedStream out(std::cout), err(std::cerr);
    EXPECT_EQ(pluginManager::output("line\r\nlast", path), 0);
    EXPECT_EQ(folder.read("out.txt"), "line\r\nlast");
    EXPECT_EQ(out.text(), "Written to " + path + "\n");
    EXPECT_EQ(err.text(), "");
}

TEST(CliOutput, FileInMissingFolderFails)
{
    TempFolder folder;
    const std::string path = folder.file("missing/out.txt");

    CapturedStream out(std::cout), err(std::cerr);
    EXPECT_EQ(pluginManager::output("text", path), 1);
    EXPECT_EQ(out.text(), "");
    EXPECT_EQ(err.text(), "Could not write " + path + "\n");
    EXPECT_FALSE(folder.exists("missing"));
}

// A file that opens but cannot take the text must not be reported as written.
TEST(CliOutput, FailedWriteIsNotReportedAsWritten)
{
    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "/dev/full is not available here";

    CapturedStream out(std::cout), err(std::cerr);
    EXPECT_EQ(pluginManager::output("text", "/dev/full"), 1);
    EXPECT_EQ(out.text(), "");
    EXPECT_EQ(err.text(), "Could not write /dev/full\n");
}

TEST(ProcessRunner, SeparatesStreamsAndAppliesEnvironment)
{
    testSupport::ProcessOptions options;
    options.environment = {{"VYRPM_RUNNER_SET", std::string("set value")}, {"HOME", std::nullopt}};
    const ProcessResult result = testSupport::runProcess(
        "sh", {"-c", "printf '%s|%s' \"$VYRPM_RUNNER_SET\" \"${HOME-unset}\"; printf 'e' >&2; exit 3"}, options);
    ASSERT_TRUE(result.started) << result.error;
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(result.out, "set value|unset");
    EXPECT_EQ(result.err, "e");
}

TEST(ProcessRunner, MissingProgramIsNotStarted)
{
    TempFolder folder;
    const ProcessResult result = testSupport::runProcess(folder.file("nothing"), {});
    EXPECT_FALSE(result.started);
    EXPECT_NE(result.error, "");
}
