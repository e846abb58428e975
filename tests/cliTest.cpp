// How the shipped program starts: usage and help before anything is touched, libcurl only when needed.
#include "support/childProcess.h"
#include "support/programRun.h"

#include <gtest/gtest.h>
#include <juce_core/juce_core.h>

#include <algorithm>
#include <filesystem>
#include <future>

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

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
    // Every command that needed the network names the reason once, after the refresh's warning where it refreshed.
    const std::string missing = "Could not load libcurl.so.4, which web requests need; install the package libcurl4";
    const std::string warning = "warning: Could not download the product list\n" + missing + "\n";
    const std::pair<std::vector<std::string>, std::string> needingTheNetwork[] = {
        {{"login", "donators", "a", "--user", "u", "--password", "p"},
         "Could not reach the server (" + missing + ")\n"},
        {{"list"}, warning + "Nothing available for this platform\n"},
        {{"install", "Aurora"}, warning + "Nothing available for Aurora on this platform\n"},
        {{"changelog", "Aurora"}, warning + "No changelog has been published for Aurora yet.\n"}};
    for (const auto& [arguments, err] : needingTheNetwork)
        EXPECT_EQ(run(arguments).outcome(), testSupport::Outcome(1, "", err));
}

// An option a command does not read, though another command reads it, is named and the command
// goes on, but for uninstall, where a mistyped --format would leave every format chosen.
TEST(ProgramStart, AnOptionTheCommandDoesNotReadIsNamedAndStopsOnlyUninstall)
{
    testSupport::ProgramRun run;
    const std::string usage = run({"help"}).out;
    const auto ignored = [](const std::string& option) { return "warning: Unknown option: --" + option + "; it is ignored\n"; };
    const std::tuple<std::vector<std::string>, testSupport::Outcome> cases[] = {
        {{"share", "--version=1", "--fromat", "x"}, {1, "", ignored("fromat") + ignored("version") +
                                                          "share needs at least one product folder\n"}},
        {{"uninstall", "Aurora", "--formt", "CLAP", "--format", "VST3"}, {1, usage, "Unknown option: --formt\n\n"}},
    };
    for (const auto& [arguments, outcome] : cases)
        EXPECT_EQ(run(arguments).outcome(), outcome) << testing::PrintToString(arguments);
}

// A word that is no command reads no stored file; a run that shows the settings does.
TEST(ProgramStart, AWordThatIsNoCommandReadsNoStoredFile)
{
    testSupport::ProgramRun run;
    run.store({{"", {"team", "pw"}}}, true);
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(inotify_add_watch(watch, run.settingsFolder().c_str(), IN_OPEN), 0);
    char events[4096];
    EXPECT_EQ(run({"frobnicate"}).err, "Unknown command: frobnicate\n\n");
    EXPECT_LT(::read(watch, events, sizeof events), 0) << "opened";
    EXPECT_EQ(run({"teamlogin"}).out, "on\n");
    EXPECT_GT(::read(watch, events, sizeof events), 0) << "not opened";
    ::close(watch);
}

// As "nobody", so that permissions bind; the program is copied beside its folders, as the build
// folder may lie where nobody can go. A run.lock that another user made (as a run under sudo does)
// is locked through reading, a FIFO as much as a file; one this user cannot open at all stops a run
// that would change the settings, unless the settings folder takes no file, or cannot be made at
// all (a path below a file): then the run goes on and its save says why. Root's settings in a
// folder open to this user, which it cannot open, may be whole: they are neither set aside nor
// replaced.
TEST(ProgramStart, ARunThatChangesSettingsGoesOnWithoutTheRunLockOnlyWhereNoRunCouldHoldIt)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can give folders to nobody and run the program as nobody";
    const testSupport::TempFolder root;
    std::filesystem::permissions(root.path(), std::filesystem::perms(0755));
    std::filesystem::copy_file(VYRPM_TEST_BINARY, root.file("vyrpm"));
    root.write("file", "");
    const std::string closed = "1 warning: could not read %/settings.xml (Permission denied); going on without the "
                               "install locations and settings it holds\nCould not read %/settings.xml: Permission "
                               "denied. Nothing was changed.\n";
    // settings folder, the file made in it and how (0: none), the folder's owner (65534: nobody), outcome
    const std::tuple<std::string, std::string, mode_t, uid_t, std::string> cases[] = {
        {"lockFile", "run.lock", S_IFREG | 0644, 65534, "0"},
        {"lockFifo", "run.lock", S_IFIFO | 0644, 65534, "0"},
        {"closedLock", "run.lock", S_IFREG | 0600, 65534,
         "1 Could not lock %/run.lock: Permission denied. Nothing was changed.\n"},
        {"rootsFolder", "", 0, 0, "1 Could not save %/settings.xml: Permission denied\n"},
        {"file/settings", "", 0, 0, "1 Could not save %/settings.xml: Not a directory\n"},
        {"sharedFolder", "settings.xml", S_IFREG | 0600, 65534, closed}};
    for (const auto& [folder, made, mode, owner, outcome] : cases)
    {
        const std::string settings = root.file(folder);
        std::error_code belowAFile;
        if (std::filesystem::create_directory(settings, belowAFile))
        {
            ASSERT_EQ(::chown(settings.c_str(), owner, owner), 0);
        }
        if (S_ISREG(mode))
            root.write(folder + "/" + made, "<pluginManager/>");
        ASSERT_EQ(S_ISREG(mode) ? ::chmod((settings + "/" + made).c_str(), mode & 0777)
                  : mode != 0   ? ::mknod((settings + "/" + made).c_str(), mode, 0)
                                : 0, 0);
        const std::string result = testSupport::inChild([&] {
            if (!testSupport::dropRootPrivileges())
                return std::string("could not drop root");
            const auto run = testSupport::runProcess(root.file("vyrpm"),
                                                     {"paths", "VST3", "/x", "--settings", settings},
                                                     {testSupport::homeEnvironment(root.file("home")), root.path()});
            return std::to_string(run.exitCode) + (run.err.empty() ? "" : " " + run.err);
        });
        if (result == "could not drop root")
            GTEST_SKIP() << "this system lets no process run as nobody";
        EXPECT_EQ(result, juce::String(outcome).replace("%", settings).toStdString()) << folder;
        EXPECT_TRUE(made != "settings.xml" || root.read(folder + "/settings.xml") == "<pluginManager/>") << folder;
    }
}

// Two runs on a machine where the settings folder is not there yet: each makes the folder chain,
// and the one that waits for the other's lock loads what that one stored.
TEST(ProgramStart, TwoRunsOnAFreshSettingsFolderKeepBothSettings)
{
    const testSupport::TempFolder home;
    const testSupport::ProcessOptions options{testSupport::homeEnvironment(home.path()), home.path()};
    for (int round = 0; round < 20; ++round)
    {
        const std::string settings = home.file(std::to_string(round) + "/a/b/c/d/settings");
        const auto set = [&](const char* format, const char* folder) {
            return std::async(std::launch::async, testSupport::runProcess, VYRPM_TEST_BINARY,
                              std::vector<std::string>{"paths", format, folder, "--settings", settings}, options);
        };
        auto first = set("VST3", "/first"), second = set("CLAP", "/second");
        ASSERT_EQ(first.get().exitCode + second.get().exitCode, 0);
        const std::string stored = testSupport::readFile(settings + "/settings.xml");
        EXPECT_NE(stored.find("/first"), std::string::npos) << round;
        EXPECT_NE(stored.find("/second"), std::string::npos) << round;
    }
}
