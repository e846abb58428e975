// End-to-end runs of login, logout, teamlogin and paths: what they print and the files they write.
#include "manager/logins/loginFile.h"

#include "support/catalogServer.h"
#include "support/programRun.h"

#include <gtest/gtest.h>

using namespace pluginManager;
using testSupport::CatalogServer;
using testSupport::ProcessResult;
using testSupport::ProgramRun;

namespace
{
const Credentials fan{"fan", "pw"};
const Credentials team{"team", "tpw"};

std::string xmlDocument(const std::string& root, const std::string& children)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n\r\n" +
           (children.empty() ? "<" + root + "/>\r\n" : "<" + root + ">\r\n" + children + "</" + root + ">\r\n");
}

std::string loginElement(const std::string& key, const Credentials& login)
{
    return "  <login key=\"" + key + "\" user=\"" + login.user + "\" pw=\"" + LoginFile::hide(login.password, key) +
           "\"/>\r\n";
}

class LoginCommands : public ::testing::Test
{
protected:
    void SetUp() override
    {
        catalog.channelFolder("aurora", Channel::Donators, {CatalogServer::buildName("Aurora", "VST3", "1.0")}, fan);
        catalog.channelFolder("empty", Channel::Donators, {}, fan);
        catalog.internalProducts({}, team);
    }

    // Runs the program and checks its streams and exit code.
    void expectRun(const std::vector<std::string>& arguments, int exitCode, const std::string& out,
                   const std::string& err = "")
    {
        SCOPED_TRACE(testing::PrintToString(arguments));
        const ProcessResult result = run(arguments);
        EXPECT_EQ(result.exitCode, exitCode);
        EXPECT_EQ(result.out, out);
        EXPECT_EQ(result.err, err);
    }

    std::string defaultRows(const std::string& vst3Row) const
    {
        const std::string& home = run.home();
        return "VST2\t" + home + "/.vst\tdefault\n" + vst3Row + "CLAP\t" + home + "/.clap\tdefault\nLV2\t" + home +
               "/.lv2\tdefault\nStandalone\t" + home + "/.local/bin\tdefault\n";
    }

    CatalogServer catalog;
    ProgramRun run{catalog.server.url("/")};
};
}

TEST_F(LoginCommands, ALoginIsStoredOnlyOnceTheServerAcceptedIt)
{
    const std::string donatorKey = "donators:aurora";
    expectRun({"login", "donators", "Aurora", "--user", "fan", "--password", "wrong"}, 1, "", "Login rejected\n");
    expectRun({"login", "donators", "empty", "--user", "fan", "--password", "pw"}, 1, "",
              "There is no build in " + catalog.server.url(CatalogServer::folderPath("empty", Channel::Donators)) +
                  " yet.\n\nThe folder is there and the login was accepted - nothing has been uploaded into it.\n");
    EXPECT_EQ(run.settingsText("credentials.xml"), "");

    expectRun({"login", "donators", "Aurora", "--user", "fan", "--password", "pw"}, 0, "Login stored\n");
    EXPECT_EQ(run.settingsText("credentials.xml"), xmlDocument("credentials", loginElement(donatorKey, fan)));
    EXPECT_EQ(run.settingsText("settings.xml"), "");

    // The product argument means nothing to the internal login; storing it lets it be used.
    expectRun({"login", "internal", "aurora", "--user", "team", "--password", "tpw"}, 0, "Login stored\n");
    EXPECT_EQ(run.settingsText("credentials.xml"),
              xmlDocument("credentials", loginElement(donatorKey, fan) + loginElement("internal", team)));
    EXPECT_EQ(run.settingsText("settings.xml"), xmlDocument("pluginManager", "  <teamLogin enabled=\"1\"/>\r\n"));

    expectRun({"logout", "internal", "aurora"}, 0, "");
    EXPECT_EQ(run.settingsText("credentials.xml"), xmlDocument("credentials", loginElement(donatorKey, fan)));
    EXPECT_EQ(run.settingsText("settings.xml"), xmlDocument("pluginManager", ""));

    // No login under an empty folder name was stored; the file is written all the same.
    expectRun({"logout", "donators"}, 0, "");
    EXPECT_EQ(run.settingsText("credentials.xml"), xmlDocument("credentials", loginElement(donatorKey, fan)));
    expectRun({"logout", "donators", "AURORA"}, 0, "");
    EXPECT_EQ(run.settingsText("credentials.xml"), xmlDocument("credentials", ""));
}

TEST_F(LoginCommands, WrongArgumentsAreRefusedBeforeAnythingIsAskedOrWritten)
{
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"login"}, "login needs a channel: internal or donators"},
        {{"login", "public", "x", "--user", "a", "--password", "b"}, "login needs a channel: internal or donators"},
        {{"login", "donators", "", "--user", "a", "--password", "b"}, "A donator login needs the product it is for"},
        {{"login", "donators"}, "A donator login needs the product it is for"},
        // The login command reads --user and --password itself.
        {{"login", "internal", "--user", "a"}, "login needs --user and --password"},
        {{"login", "donators", "aurora", "--user", "", "--password", "b"}, "login needs --user and --password"},
        {{"logout", "Internal"}, "logout needs a channel: internal or donators"},
        {{"teamlogin", "yes"}, "teamlogin takes on or off, or nothing to say which it is"},
        {{"paths", "vst3", "/x"}, "Unknown format: vst3"},
        {{"paths", "VST3"}, "paths VST3 needs a location, or \"default\""},
    };
    for (const auto& [arguments, message] : cases)
        expectRun(arguments, 1, "", message + "\n");
    EXPECT_TRUE(catalog.requestedPaths().empty());
    EXPECT_EQ(run.settingsText("credentials.xml"), "");
    EXPECT_EQ(run.settingsText("settings.xml"), "");
}

TEST_F(LoginCommands, TeamloginShowsOrSetsTheSwitch)
{
    const std::string on = xmlDocument("pluginManager", "  <teamLogin enabled=\"1\"/>\r\n");
    expectRun({"teamlogin"}, 0, "off\n");
    EXPECT_EQ(run.settingsText("settings.xml"), "");
    expectRun({"teamlogin", "on"}, 0, "on\n");
    EXPECT_EQ(run.settingsText("settings.xml"), on);
    // Setting the value it already has still writes the file.
    testSupport::writeFile(run.settingsFile("settings.xml"), on + "<!-- -->");
    expectRun({"teamlogin", "on"}, 0, "on\n");
    EXPECT_EQ(run.settingsText("settings.xml"), on);
    expectRun({"teamlogin"}, 0, "on\n");
    expectRun({"teamlogin", "off"}, 0, "off\n");
    EXPECT_EQ(run.settingsText("settings.xml"), xmlDocument("pluginManager", ""));
}

TEST_F(LoginCommands, PathsShowsOrSetsTheFolderOfEachFormat)
{
    const std::string defaultVst3 = "VST3\t" + run.home() + "/.vst3\tdefault\n";
    expectRun({"paths"}, 0, defaultRows(defaultVst3));
    EXPECT_EQ(run.settingsText("settings.xml"), "");

    expectRun({"paths", "VST3", "studio/vst3"}, 0, defaultRows("VST3\tstudio/vst3\tcustom\n"));
    // AU has no folder on this system, so no row, but the setting is kept.
    expectRun({"paths", "AU", "/some/folder"}, 0, defaultRows("VST3\tstudio/vst3\tcustom\n"));
    EXPECT_EQ(run.settingsText("settings.xml"),
              xmlDocument("pluginManager", "  <installPath format=\"VST3\" path=\"studio/vst3\"/>\r\n"
                                           "  <installPath format=\"AU\" path=\"/some/folder\"/>\r\n"));

    expectRun({"paths", "VST3", "default"}, 0, defaultRows(defaultVst3));
    // Naming the default folder also forgets the custom one.
    expectRun({"paths", "AU", "default"}, 0, defaultRows(defaultVst3));
    expectRun({"paths", "CLAP", run.home() + "/.clap"}, 0, defaultRows(defaultVst3));
    EXPECT_EQ(run.settingsText("settings.xml"), xmlDocument("pluginManager", ""));
}
