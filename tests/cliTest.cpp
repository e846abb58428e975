// How the shipped program starts: usage and help before anything is touched, libcurl only when needed.
#include "support/programRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

// A settings file, log, run lock or data folder a run creates shows up below its fresh home. libcurl
// is opened on the first request only, and a libcurl that cannot serve is named as such, not taken
// for a server that cannot be reached, by every command that needed the network.
TEST(ProgramStart, UsageAloneOrAfterAnErrorAndNothingWrittenUntilARequestNeedsLibcurl)
{
    // The shipped program, with a libcurl that lacks every function of libcurl's.
    const testSupport::TempFolder home;
    testSupport::ProcessOptions options{testSupport::homeEnvironment(home.path()), home.path()};
    options.environment["LD_LIBRARY_PATH"] = VYRPM_CURL_STAND_IN_DIR;
    const auto run = [&options](const std::vector<std::string>& arguments) {
        return testSupport::runProcess(VYRPM_BINARY, arguments, options);
    };
    const std::string settings = home.file("settings"), usage = run({}).out;
    EXPECT_EQ(usage.substr(0, usage.find("\n\n")), "VYR Plugin Manager 2.2.27 (headless)");
    EXPECT_EQ(std::count(usage.begin(), usage.end(), '\n'), 21);
    // arguments, exit code, standard error
    const std::tuple<std::vector<std::string>, int, std::string> cases[] = {
        {{}, 0, ""},
        // Help is answered before the run lock or the settings folder are touched, and before the command is looked at.
        {{"paths", "VST3", "--help", "x"}, 0, ""},
        {{"help", "--settings", settings}, 0, ""},
        {{"nosuchcommand", "--help="}, 0, ""},
        {{"--help"}, 1, "Missing value for --help\n\n"},
        {{"--settings", settings}, 1, "No command given\n\n"},
        // Command words are compared exactly.
        {{"List", "--settings", settings}, 1, "Unknown command: List\n\n"},
    };
    for (const auto& [arguments, exitCode, err] : cases)
    {
        SCOPED_TRACE(testing::PrintToString(arguments));
        EXPECT_EQ(run(arguments).outcome(), testSupport::Outcome(exitCode, usage, err));
        EXPECT_TRUE(std::filesystem::is_empty(home.path()));
    }
    const std::string missing = "Could not load libcurl.so.4, which web requests need; install the package libcurl4";
    EXPECT_EQ(run({"login", "donators", "a", "--user", "u", "--password", "p"}).outcome(),
              testSupport::Outcome(1, "", "Could not reach the server (" + missing + ")\n"));
    // Every command that needed the network names the reason once, after the refresh's warning.
    const std::string warning = "warning: Could not download the product list\n" + missing + "\n";
    const std::pair<std::vector<std::string>, std::string> needingTheNetwork[] = {
        {{"list"}, "Nothing available for this platform\n"},
        {{"install", "Aurora"}, "Nothing available for Aurora on this platform\n"},
        {{"changelog", "Aurora"}, "No changelog has been published for Aurora yet.\n"},
    };
    for (const auto& [arguments, err] : needingTheNetwork)
        EXPECT_EQ(run(arguments).outcome(), testSupport::Outcome(1, "", warning + err));
}
