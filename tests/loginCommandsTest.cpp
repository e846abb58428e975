// End-to-end runs of login, logout, teamlogin and paths: what they print and the files they write.
#include "manager/logins/loginFile.h"

#include "support/catalogServer.h"
#include "support/programRun.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <future>
#include <thread>

#include <sys/stat.h>

using namespace pluginManager;
using testSupport::CatalogServer;

namespace
{
std::string xml(const std::string& root, const std::string& children = "")
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n\r\n" +
           (children.empty() ? "<" + root + "/>\r\n" : "<" + root + ">\r\n" + children + "</" + root + ">\r\n");
}

std::string login(const std::string& key, const std::string& user, const std::string& password)
{
    return "  <login key=\"" + key + "\" user=\"" + user + "\" pw=\"" + LoginFile::hide(password, key) + "\"/>\r\n";
}

// The system lists a process that waits for an advisory lock after "->", with the file's inode.
bool someoneWaitsToLock(const std::string& path)
{
    struct stat file = {};
    if (stat(path.c_str(), &file) != 0)
        return false;
    const std::string inode = ":" + std::to_string(file.st_ino) + " ";
    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);)
    {
        if (line.find("->") != std::string::npos && line.find(inode) != std::string::npos)
            return true;
    }
    return false;
}

template <typename Condition>
void waitUntil(Condition condition)
{
    while (!condition())
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

template <typename Result>
bool isDone(const std::future<Result>& run)
{
    return run.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

const std::string teamLoginOn = xml("pluginManager", "  <teamLogin enabled=\"1\"/>\r\n");

class SettingsCommands : public ::testing::Test
{
protected:
    void SetUp() override
    {
        catalog.channelFolder("aurora", Channel::Donators, {catalog.build("Aurora", "VST3", "1.0")}, {"fan", "pw"});
        catalog.channelFolder("empty", Channel::Donators, {}, {"fan", "pw"});
        catalog.internalProducts({}, {"team", "tpw"});
    }

    void expectRun(const std::vector<std::string>& arguments, const std::string& out, const std::string& err = "")
    {
        const auto result = run(arguments);
        EXPECT_EQ(result.exitCode, err.empty() ? 0 : 1) << testing::PrintToString(arguments);
        EXPECT_EQ(result.out, out) << testing::PrintToString(arguments);
        EXPECT_EQ(result.err, err) << testing::PrintToString(arguments);
    }

    std::string rows(const std::string& vst3Folder, const char* kind) const
    {
        const std::string& home = run.home();
        return "VST2\t" + home + "/.vst\tdefault\nVST3\t" + vst3Folder + "\t" + kind + "\nCLAP\t" + home +
               "/.clap\tdefault\nLV2\t" + home + "/.lv2\tdefault\nStandalone\t" + home + "/.local/bin\tdefault\n";
    }

    std::string settings(const std::string& name) const { return run.settingsText(name); }

    CatalogServer catalog;
    testSupport::ProgramRun run{catalog.server.url("/")};
};
}

TEST_F(SettingsCommands, ALoginIsStoredOnlyOnceTheServerAcceptedItAndTeamloginShowsOrSetsTheSwitch)
{
    const std::string fan = login("donators:aurora", "fan", "pw");
    expectRun({"login", "donators", "Aurora", "--user", "fan", "--password", "wrong"}, "", "Login rejected\n");
    expectRun({"login", "donators", "empty", "--user", "fan", "--password", "pw"}, "",
              "There is no build in " + catalog.server.url(catalog.folder("empty", Channel::Donators)) +
                  " yet.\n\nThe folder is there and the login was accepted - nothing has been uploaded into it.\n");
    expectRun({"teamlogin"}, "off\n");
    EXPECT_EQ(settings("credentials.xml") + settings("settings.xml"), "");

    expectRun({"login", "donators", "Aurora", "--user", "fan", "--password", "pw"}, "Login stored\n");
    EXPECT_EQ(settings("credentials.xml"), xml("credentials", fan));
    EXPECT_EQ(settings("settings.xml"), "");
    // The internal login ignores the product argument, and storing it switches the team login on.
    expectRun({"login", "internal", "aurora", "--user", "team", "--password", "tpw"}, "Login stored\n");
    EXPECT_EQ(settings("credentials.xml"), xml("credentials", fan + login("internal", "team", "tpw")));
    EXPECT_EQ(settings("settings.xml"), teamLoginOn);

    expectRun({"logout", "internal", "aurora"}, "");
    EXPECT_EQ(settings("credentials.xml"), xml("credentials", fan));
    EXPECT_EQ(settings("settings.xml"), xml("pluginManager"));
    expectRun({"logout", "donators"}, "");
    EXPECT_EQ(settings("credentials.xml"), xml("credentials", fan));
    expectRun({"logout", "donators", "AURORA"}, "");
    EXPECT_EQ(settings("credentials.xml"), xml("credentials"));

    expectRun({"teamlogin", "on"}, "on\n");
    EXPECT_EQ(settings("settings.xml"), teamLoginOn);
    // The same value is written again all the same.
    testSupport::writeFile(run.settingsFile("settings.xml"), teamLoginOn + "<!-- -->");
    expectRun({"teamlogin", "on"}, "on\n");
    EXPECT_EQ(settings("settings.xml"), teamLoginOn);
    expectRun({"teamlogin", "off"}, "off\n");
    expectRun({"teamlogin"}, "off\n");
    EXPECT_EQ(settings("settings.xml"), xml("pluginManager"));
}

TEST_F(SettingsCommands, WrongArgumentsAreRefusedBeforeAnythingIsAskedOrWritten)
{
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"login", "public", "x", "--user", "a", "--password", "b"}, "login needs a channel: internal or donators"},
        {{"login", "donators", ""}, "A donator login needs the product it is for"},
        {{"login", "donators", "aurora", "--user", "", "--password", "b"}, "login needs --user and --password"},
        {{"logout", "Internal"}, "logout needs a channel: internal or donators"},
        {{"teamlogin", "yes"}, "teamlogin takes on or off, or nothing to say which it is"},
        {{"paths", "vst3", "/x"}, "Unknown format: vst3"},
        {{"paths", "VST3"}, "paths VST3 needs a location, or \"default\""},
        {{"paths", "VST3", "plug\nins"}, "Could not set the VST3 location: it holds a control character. The setting "
                                          "was left as it was."},
        // A login for this run only must be whole, and for a channel that takes one.
        {{"list", "--user", "fan", "--password", ""}, "--user and --password go together"},
        {{"frobnicate", "--password", "b"}, "--user and --password go together"},
        {{"list", "--user", "a", "--password", "b", "--channel", "public"}, "Unknown channel: public"},
    };
    for (const auto& [arguments, message] : cases)
        expectRun(arguments, "", message + "\n");
    EXPECT_TRUE(catalog.requestedPaths().empty());
    EXPECT_EQ(settings("credentials.xml") + settings("settings.xml"), "");
}

TEST_F(SettingsCommands, PathsShowsOrSetsTheFolderOfEachFormat)
{
    const std::string defaults = rows(run.home() + "/.vst3", "default");
    expectRun({"paths"}, defaults);
    EXPECT_EQ(settings("settings.xml"), "");
    // A relative folder is kept as the one it names where the command runs, which is the home folder.
    const std::string studio = run.home() + "/studio/vst3";
    expectRun({"paths", "VST3", "studio/vst3"}, rows(studio, "custom"));
    // AU has no folder here, so no row, but the setting is kept.
    expectRun({"paths", "AU", "/some/folder"}, rows(studio, "custom"));
    EXPECT_EQ(settings("settings.xml"),
              xml("pluginManager", "  <installPath format=\"VST3\" path=\"" + studio + "\"/>\r\n"
                                   "  <installPath format=\"AU\" path=\"/some/folder\"/>\r\n"));
    // Naming the default folder forgets the custom one, as "default" does; "~" is the home folder.
    expectRun({"paths", "VST3", "~/.vst3"}, defaults);
    EXPECT_EQ(settings("settings.xml"), xml("pluginManager", "  <installPath format=\"AU\" path=\"/some/folder\"/>\r\n"));
    expectRun({"paths", "AU", "default"}, defaults);
    EXPECT_EQ(settings("settings.xml"), xml("pluginManager"));
}

// The first login stays at the server until the second run waits; each run loads the stored logins
// at its start and writes them whole at its end.
TEST_F(SettingsCommands, RunsThatChangeStoredFilesTakeTurnsAndTheOthersDoNotWait)
{
    if (!std::ifstream("/proc/locks"))
        GTEST_SKIP() << "/proc/locks is not there to see that the second run waits";
    catalog.channelFolder("vireo", Channel::Donators, {catalog.build("Vireo", "VST3", "1.0")}, {"fan", "pw"});
    const std::string aurora = CatalogServer::folder("aurora", Channel::Donators);
    const auto loginTo = [this](const std::string& product) {
        return std::async(std::launch::async, [this, product] {
            return run({"login", "donators", product, "--user", "fan", "--password", "pw"});
        });
    };
    catalog.server.hold(aurora);
    auto first = loginTo("Aurora");
    waitUntil([&] { return catalog.server.requestCount(aurora) > 0 || isDone(first); });
    expectRun({"teamlogin"}, "off\n");
    auto second = loginTo("Vireo");
    waitUntil([&] { return someoneWaitsToLock(run.settingsFile("run.lock")) || isDone(second); });
    catalog.server.release(aurora);

    const auto firstRun = first.get(), secondRun = second.get();
    EXPECT_EQ(firstRun.out + firstRun.err, "Login stored\n");
    EXPECT_EQ(secondRun.out, "Login stored\n");
    EXPECT_EQ(secondRun.err, "Waiting for another run of vyrpm to finish\n");
    EXPECT_EQ(settings("credentials.xml"),
              xml("credentials", login("donators:aurora", "fan", "pw") + login("donators:vireo", "fan", "pw")));
}

// Read as empty, a file that could not be read would be lost at the next save; it is kept aside
// first, never over a copy kept before. An empty file holds nothing to keep.
TEST_F(SettingsCommands, AFileThatCouldNotBeReadIsKeptAsideBeforeASaveReplacesIt)
{
    const std::string fan = login("donators:aurora", "fan", "pw"), logins = xml("credentials", fan);
    const std::vector<std::string> loginFan = {"login", "donators", "Aurora", "--user", "fan", "--password", "pw"};
    const std::string two = xml("credentials", fan + login("internal", "team", "tpw"));
    std::string deep, truncated = two.substr(0, two.size() - 40);
    while (deep.size() < 600000)
        deep += "<a>";
    struct Case
    {
        std::string name, content;
        std::vector<std::string> arguments;
        std::string out, kept, after;
    };
    const Case cases[] = {
        {"credentials.xml", truncated, loginFan, "Login stored\n", "credentials.xml.damaged", logins},
        {"credentials.xml", "<credentials>", {"logout", "donators", "aurora"}, "", "credentials.xml.damaged-2",
         xml("credentials")},
        {"credentials.xml", "", loginFan, "Login stored\n", "", logins},
        // Nested deeper than the parser can descend.
        {"settings.xml", deep, {"teamlogin", "on"}, "on\n", "settings.xml.damaged", teamLoginOn},
    };
    for (const Case& c : cases)
    {
        testSupport::writeFile(run.settingsFile(c.name), c.content);
        const auto result = run(c.arguments);
        EXPECT_EQ(result.exitCode, 0) << c.kept;
        EXPECT_EQ(result.out, c.out);
        EXPECT_EQ(result.err, c.kept.empty() ? "" : "Could not read " + run.settingsFile(c.name) + "; it is kept as " +
                                                        run.settingsFile(c.kept) + "\n");
        // Not compared with EXPECT_EQ, which would print the whole of the deep file.
        EXPECT_TRUE(settings(c.kept) == (c.kept.empty() ? "" : c.content)) << c.kept;
        EXPECT_TRUE(settings(c.name) == c.after) << c.name << ": " << settings(c.name).substr(0, 200);
    }
}

// Root may write anywhere, but not a file where a folder stands.
TEST_F(SettingsCommands, ASaveThatFailsIsReportedInsteadOfTheSuccessAndTouchesNothing)
{
    for (const char* name : {"credentials.xml", "settings.xml"})
    {
        testSupport::writeFile(run.settingsFile(name) + "/inside", "x");
        std::filesystem::permissions(run.settingsFile(name), std::filesystem::perms(0755));
    }
    const std::string logins = "Could not save " + run.settingsFile("credentials.xml") + ": Is a directory\n";
    const std::string switches = "Could not save " + run.settingsFile("settings.xml") + ": Is a directory\n";
    expectRun({"login", "donators", "Aurora", "--user", "fan", "--password", "pw"}, "", logins);
    expectRun({"login", "internal", "--user", "team", "--password", "tpw"}, "", logins);
    expectRun({"logout", "donators", "aurora"}, "", logins);
    expectRun({"teamlogin", "on"}, "", switches);
    expectRun({"paths", "VST3", "/x"}, "", switches);
    for (const char* name : {"credentials.xml", "settings.xml"})
    {
        EXPECT_EQ(std::filesystem::status(run.settingsFile(name)).permissions(), std::filesystem::perms(0755));
        EXPECT_EQ(settings(std::string(name) + "/inside"), "x");
    }
}
