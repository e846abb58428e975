#include "cli/output.h"
#include "support/processRunner.h"
#include "support/tempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

using testSupport::ProcessResult;
using testSupport::TempFolder;

namespace
{
// Any settings file, log or data folder a run creates shows up below the fresh home.
class CliRun : public ::testing::Test
{
protected:
    ProcessResult run(const std::vector<std::string>& arguments, const std::string& libraryPath = "")
    {
        testSupport::ProcessOptions options;
        options.environment = testSupport::homeEnvironment(home.path());
        if (!libraryPath.empty())
            options.environment["LD_LIBRARY_PATH"] = libraryPath;
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
    const std::string settings = home.file("settings"), usage = run({}).out;
    EXPECT_EQ(usage.substr(0, usage.find("\n\n")), "VYR Plugin Manager 2.2.27 (headless)");
    EXPECT_EQ(std::count(usage.begin(), usage.end(), '\n'), 21);
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
        EXPECT_EQ(result.out, usage);
        EXPECT_TRUE(std::filesystem::is_empty(home.path()));
    }
}

// libcurl is opened on the first request only, and a libcurl that cannot serve is named as such,
// not taken for a server that cannot be reached.
TEST_F(CliRun, AMissingLibcurlIsNamedWhenARequestNeedsIt)
{
    EXPECT_EQ(run({"help"}, VYRPM_CURL_STAND_IN_DIR).exitCode, 0);
    const ProcessResult result = run({"login", "donators", "alpha", "--user", "u", "--password", "p"},
                                     VYRPM_CURL_STAND_IN_DIR);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("Could not load libcurl.so.4"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("package libcurl4"), std::string::npos) << result.err;
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
