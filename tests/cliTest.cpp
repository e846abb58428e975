#include "cli/output.h"
#include "support/processRunner.h"
#include "support/tempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>

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

    TempFolder home;
};
}

TEST_F(CliRun, UsageAloneOrAfterAnErrorAndNothingWritten)
{
    const std::string settings = home.file("settings");
    // arguments, exit code, standard error
    const std::tuple<std::vector<std::string>, int, std::string> cases[] = {
        {{}, 0, ""},
        {{"list", "--help", "x"}, 0, ""},
        // Help is answered before the settings folder is touched, and before the command is looked at.
        {{"help", "--settings", settings}, 0, ""},
        {{"nosuchcommand", "--help="}, 0, ""},
        {{"--help"}, 1, "Missing value for --help\n\n"},
        {{"help", "--settings"}, 1, "Missing value for --settings\n\n"},
        {{"--settings", settings}, 1, "No command given\n\n"},
        {{"--format=VST3", "--out", "x"}, 1, "No command given\n\n"},
        {{"frobnicate", "--settings", settings}, 1, "Unknown command: frobnicate\n\n"},
        // Command words are compared exactly.
        {{"List"}, 1, "Unknown command: List\n\n"},
        {{"-", "list"}, 1, "Unknown command: -\n\n"},
    };
    for (const auto& [arguments, exitCode, err] : cases)
    {
        SCOPED_TRACE(testing::PrintToString(arguments));
        const ProcessResult result = run(arguments);
        EXPECT_EQ(result.exitCode, exitCode);
        EXPECT_EQ(result.err, err);
        EXPECT_EQ(result.out, usageText);
        EXPECT_TRUE(std::filesystem::is_empty(home.path()));
    }
}

TEST(CliOutput, PrintsOrWritesTheTextExactlyAndSaysSo)
{
    TempFolder folder;
    folder.write("out.txt", "an older and much longer content than the new one");
    const std::string file = folder.file("out.txt"), missing = folder.file("missing/out.txt");
    // path, exit code, standard output, standard error
    const std::tuple<std::string, int, std::string, std::string> cases[] = {
        {"", 0, "line\r\nlast\n", ""},
        {file, 0, "Written to " + file + "\n", ""},
        {missing, 1, "", "Could not write " + missing + "\n"},
        // A file that opens but cannot take the text must not be reported as written.
        {"/dev/full", 1, "", "Could not write /dev/full\n"},
    };
    for (const auto& [path, exitCode, out, err] : cases)
    {
        SCOPED_TRACE(path);
        if (path == "/dev/full" && !std::filesystem::exists(path))
            continue; // not there to be opened; writing would create it
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        const int result = pluginManager::output("line\r\nlast", path);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), out);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), err);
        EXPECT_EQ(result, exitCode);
    }
    EXPECT_EQ(folder.read("out.txt"), "line\r\nlast");
    EXPECT_FALSE(folder.exists("missing"));
}
