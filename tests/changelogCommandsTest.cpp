// End-to-end runs of changelog and share: the test build of the program against a loopback catalog.
#include "support/catalogServer.h"
#include "support/childProcess.h"
#include "support/programRun.h"
#include "support/testEndpoints.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace pluginManager;
using testSupport::CatalogServer;
using testSupport::Outcome;
using Paths = std::vector<std::string>;

namespace
{
const Credentials fan{"fan", "pw"}, team{"team", "tpw"};
const std::string fixtures = std::string(VYRPM_FIXTURES_DIR) + "/changelog/";
const std::string alphaText = testSupport::readFile(fixtures + "command/Alpha.txt") + "\n";
const std::string alphaMarkdown = testSupport::readFile(fixtures + "command/Alpha.md");
// The older of Alpha's two releases in the public changelog, as plain text.
const std::string alpha120 = alphaText.substr(alphaText.find("Alpha Version 1.2.0"));
const std::string donatorRelease = "Alpha Version 1.4.0\n\nAlpha:\n\n- donator build\n\n";

const std::string publicChangelog = testSupport::route(testSupport::loopbackPath::changelog);
const std::string internalCopy = CatalogServer::folder("alpha", Channel::Internal) + "changelog.txt";
const std::string teamChangelog = "Version 2.0.0\nAlpha:\n- team build\n";

std::string build(const std::string& version) { return CatalogServer::build("Alpha", "VST3", version); }

// Alpha has public builds up to 1.3.0, an internal and a donators folder with a changelog each,
// and is in the public changelog; Quiet ("Quiet Storm", with control characters from its product
// list) has no public build.
struct ChangelogCommands : ::testing::Test
{
    ChangelogCommands()
    {
        const std::string alpha = CatalogServer::product("Alpha", "alpha");
        catalog.publicProducts({alpha, R"({"id": "Quiet", "slug": "quiet", "name": "\u0007Quiet Storm\u009b\r"})"});
        catalog.publicBuilds({build("1.2.0"), build("1.3.0")});
        catalog.internalProducts({alpha}, team);
        catalog.channelFolder("alpha", Channel::Internal, {build("2.0.0")}, team);
        catalog.channelFolder("alpha", Channel::Donators, {build("1.4.0")}, fan);
        catalog.server.setText(internalCopy, teamChangelog);
        catalog.server.setText(CatalogServer::folder("alpha", Channel::Donators) + "changelog.txt",
                               "Version 1.4.0\nAlpha:\n- donator build\n");
        catalog.server.setText(publicChangelog, testSupport::readFile(fixtures + "input.txt"));
    }

    CatalogServer catalog;
    testSupport::ProgramRun run{catalog.server.url("/")};
};
}

// Passwords in a shared text are masked with their folder's name as typed.
TEST_F(ChangelogCommands, ChangelogPrintsThePublicReleasesAndShareTheDonatorLoginsOfEveryFolderOrEachSaysWhyNot)
{
    EXPECT_EQ(run({"changelog"}).outcome(), Outcome(1, "", "changelog needs a product\n"));
    EXPECT_EQ(run({"changelog", "Alpha", "--format", "html"}).outcome(),
              Outcome(1, "", "--format is text or markdown\n"));
    EXPECT_EQ(catalog.requestedPaths(), Paths());

    // Logins of other folders, and a team login switched off, change nothing for Alpha.
    run.store({{"delta", fan}, {"beta", {"b", "bpw"}}, {"", team}});
    const std::string home = run.home(), file = home + "/alpha.md";
    // Longer than what replaces it, which is written exactly.
    testSupport::writeFile(file, std::string(alphaMarkdown.size() * 2, 'x'));
    const std::string shared = R"({"vyrLogin": 1, "logins": [{"slug": "delta", "user": "fan", "pw": "W3M="})";
    const std::pair<Paths, Outcome> cases[] = {
        {{"changelog", "Alpha"}, {0, alphaText, ""}},
        {{"changelog", "Alpha", "--version", "1.2.0.7"}, {0, alpha120, ""}},
        {{"changelog", "Alpha", "--version", "1.1.0"}, {1, "", "The changelog of Alpha has no version 1.1.0\n"}},
        {{"changelog", "Alpha", "--format", "markdown", "--out", file}, {0, "Written to " + file + "\n", ""}},
        // A file that opens but cannot take the text must not be reported as written.
        {{"changelog", "Alpha", "--out", "/dev/full"}, {1, "", "Could not write /dev/full\n"}},
        {{"changelog", "Quiet"}, {1, "", "No changelog has been published for Quiet Storm yet.\n"}},
        {{"share", "delta", "Beta"}, {0, shared + R"(, {"slug": "Beta", "user": "b", "pw": "b3Ro"}]})" "\n", ""}},
        {{"share", "gamma", "--user", "g", "--password", "gpw", "--channel", "donators", "--product", "gamma"},
         {0, R"({"vyrLogin": 1, "logins": [{"slug": "gamma", "user": "g", "pw": "T3Bx"}]})" "\n", ""}},
        {{"share", "delta", "internal", "--out", home + "/h.json"}, {1, "", "No donator login stored for internal\n"}},
        {{"share", "delta", "--out", home + "/no/x.json"}, {1, "", "Could not write " + home + "/no/x.json\n"}},
    };
    for (const auto& [arguments, outcome] : cases)
        EXPECT_EQ(run(arguments).outcome(), outcome) << testing::PrintToString(arguments);
    EXPECT_EQ(testSupport::readFile(file), alphaMarkdown);
    EXPECT_FALSE(std::filesystem::exists(home + "/h.json"));

    // Why there is nothing to show. Without shared sections a release of another product concerns no one else.
    catalog.server.setText(publicChangelog, "Version 1.0.0\nBeta:\n- x\n");
    EXPECT_EQ(run({"changelog", "Alpha"}).outcome(), Outcome(1, "", "The changelog has nothing about Alpha\n"));
    catalog.server.setStatus(publicChangelog, 500);
    EXPECT_EQ(run({"changelog", "Alpha"}).outcome(), Outcome(1, "", "Could not read the changelog: HTTP 500\n"));
}

// On a full disk the file that was there stays byte for byte, also where a link leads to it; the
// link is written through and stays a link.
TEST_F(ChangelogCommands, AnOutFileThatCannotBeWrittenWholeKeepsWhatItHeld)
{
    std::string longChangelog = "Version 1.2.0\nAlpha:\n";
    for (int line = 0; line < 200; ++line)
        longChangelog += "- fix number " + std::to_string(line) + " of a release with many\n";
    catalog.server.setText(publicChangelog, longChangelog);
    const std::string file = run.home() + "/notes.md", link = run.home() + "/link.md", old(3000, 'o');
    testSupport::writeFile(file, old);
    std::filesystem::create_symlink("notes.md", link);
    for (const std::string& out : {file, link})
    {
        const std::string outcome = testSupport::inChild([&] {
            if (!testSupport::limitFileSize(4096))
                return std::string("no limit");
            const auto result = run({"changelog", "Alpha", "--out", out});
            return std::to_string(result.exitCode) + " " + result.out + result.err;
        });
        EXPECT_EQ(outcome, "1 Could not write " + out + "\n");
        EXPECT_EQ(testSupport::readFile(file), old) << out;
    }
    for (const auto& entry : std::filesystem::directory_iterator(run.home()))
        EXPECT_NE(entry.path().filename().string().rfind(".notes.md", 0), 0u) << "left beside it: " << entry.path();
    EXPECT_EQ(run({"changelog", "Alpha", "--out", link}).outcome(), Outcome(0, "Written to " + link + "\n", ""));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(testSupport::readFile(file) + "\n", run({"changelog", "Alpha"}).out);
}

TEST_F(ChangelogCommands, AReadablePrivateCopyWinsElseThePublicOneIsCutWithoutTheTeamLogin)
{
    const testSupport::StoredLogins both = {{"", team}, {"alpha", fan}}, teamOnly = {{"", team}};
    const std::string refused = "warning: the server refused the donators login for alpha; to log in again: vyrpm "
                                "login donators alpha --user <user> --password <password>\n";
    // newest public build, whether the internal folder has a copy, stored logins, team login switch, output, error stream
    const std::tuple<const char*, bool, testSupport::StoredLogins, bool, std::string, std::string> cases[] = {
        {"1.3.0", true, both, true, "Alpha Version 2.0.0\n\nAlpha:\n\n- team build\n\n", ""},
        {"1.3.0", false, both, true, donatorRelease, ""},
        // The private copy is never cut, not even at the newest public build.
        {"1.2.0", true, both, false, donatorRelease, ""},
        {"1.3.0", true, {{"alpha", {"fan", "old"}}}, false, alphaText, refused},
        {"1.2.0", true, teamOnly, false, alpha120, ""},
        {"1.2.0", false, teamOnly, true, alphaText, ""},
    };
    for (const auto& [newestPublic, internal, logins, teamLogin, out, err] : cases)
    {
        catalog.publicBuilds({build("1.2.0"), build(newestPublic)});
        catalog.server.setStatus(internalCopy, internal ? 200 : 404, teamChangelog);
        run.store(logins, teamLogin);
        EXPECT_EQ(run({"changelog", "Alpha"}).outcome(), Outcome(0, out, err)) << newestPublic << internal << teamLogin;
    }
}
