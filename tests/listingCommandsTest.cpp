// End-to-end runs of list, login, logout, teamlogin and paths against a loopback catalog: what they
// print and the files they write.
#include "manager/platform/storedFile.h"
#include "support/catalogServer.h"
#include "support/lockWaiters.h"
#include "support/programRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace pluginManager;
using testSupport::CatalogServer;
using testSupport::Outcome;
using Paths = std::vector<std::string>;

namespace
{
const Credentials fan{"fan", "pw"}, team{"team", "tpw"};
const auto build = CatalogServer::build;

std::string xml(const std::string& root, const std::string& children = "")
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n\r\n" +
           (children.empty() ? "<" + root + "/>\r\n" : "<" + root + ">\r\n" + children + "</" + root + ">\r\n");
}

// Passwords are masked with the key of their login.
const std::string fanLogin = "  <login key=\"donators:aurora\" user=\"fan\" pw=\"W3k=\"/>\r\n";
const std::string teamLogin = "  <login key=\"internal\" user=\"team\" pw=\"Un9o\"/>\r\n";
const std::string teamLoginOn = xml("pluginManager", "  <teamLogin enabled=\"1\"/>\r\n");

// A login the server refuses is named with the command that stores it anew.
std::string refused(const std::string& login, const std::string& place)
{
    return "warning: the server refused the " + login + "; to log in again: vyrpm login " + place +
           " --user <user> --password <password>\n";
}
const std::string auroraRefused = refused("donators login for aurora", "donators aurora");

// What a run says of a stored file it could not read, before it goes on without it.
std::string unread(const std::string& file, const std::string& why)
{
    const std::string name = file.substr(file.rfind('/') + 1);
    const std::string holds = name == "credentials.xml" ? "the logins"
                              : name == "settings.xml"  ? "the install locations and settings"
                                                        : "the install record";
    return "warning: could not read " + file + " (" + why + "); going on without " + holds + " it holds\n";
}

// Aurora 1.1.0 is on both login channels; Nebula is named by the internal list alone; no list
// names the folders "orphan" and "empty"; Legacy and one Vireo build are for other systems.
// Aurora's VST3 1.0.0 is installed. A link in Aurora's donators folder would print a row of its
// own, and retitle the terminal, were it taken for a build.
struct ListingCommands : ::testing::Test
{
    ListingCommands()
    {
        CatalogServer& s = catalog;
        s.publicProducts({s.product("Aurora", "aurora"), s.product("Vireo", "vireo"), s.product("Legacy", "legacy")});
        const std::string aurora10 = build("Aurora", "VST3", "1.0.0"), aurora11 = build("Aurora", "VST3", "1.1.0");
        s.publicBuilds({aurora10, build("Aurora", "CLAP", "1.0.0"), build("AuroraFX", "VST3", "1.0.0"),
                        build("Vireo", "LV2", "2.0.0"), "Kestavel-Vireo-VST3-2.0.0-win64.zip",
                        "Kestavel-Legacy-VST3-0.1-MacOS.zip"});
        s.internalProducts({s.product("Aurora", "aurora"), s.product("Nebula", "nebula")}, team);
        const std::string link = build("Aurora\tVST3\t9.0.0\tinternal\t\n\x1b]0;owned\x07Aurora", "VST3", "1.0.0");
        s.channelFolder("aurora", Channel::Donators, {aurora11, aurora10, link}, fan);
        s.channelFolder("aurora", Channel::Internal, {build("Aurora", "VST3", "1.2.0"), aurora11}, team);
        s.channelFolder("nebula", Channel::Internal, {build("Nebula", "CLAP", "0.9")}, team);
        s.channelFolder("orphan", Channel::Donators, {build("OrphanFX", "VST3", "1.0"), build("Orphan", "CLAP", "1.0")},
                        fan, {s.product("Orphan Synth", "")});
        s.channelFolder("empty", Channel::Donators, {}, fan);

        const std::string plugin = run.home() + "/.vst3/Kestavel/Aurora.vst3";
        testSupport::writeFile(plugin + "/Contents/x", "");
        const std::string record = R"([{"product": "Aurora", "format": "VST3", "version": "1.0.0", "path": ")";
        testSupport::writeFile(run.settingsFile("installed.json"), record + plugin + "\"}]");
    }

    std::string stored() const { return run.settingsText("credentials.xml") + run.settingsText("settings.xml"); }

    CatalogServer catalog;
    testSupport::ProgramRun run{catalog.server.url("/")};
};
}

// A list changes no stored file, not even with a login given for the run. The answers come late,
// the newest first: what is printed does not depend on their order.
TEST_F(ListingCommands, ListShowsEachVersionOnceWithTheBestChannelTheLoginsReachAndAsksEachSourceOnce)
{
    catalog.server.delayAnswers(20, true);
    const std::string aurora = "Aurora\tVST3\t1.0.0\tpublic\t1.0.0\nAurora\tCLAP\t1.0.0\tpublic\t\n";
    const std::string auroraFx = "AuroraFX\tVST3\t1.0.0\tpublic\t\n", vireo = "Vireo\tLV2\t2.0.0\tpublic\t\n";
    const std::string publicRows = aurora + auroraFx + vireo, nebula = "Nebula\tCLAP\t0.9\tinternal\t\n";
    const std::string donatorRows = "Aurora\tVST3\t1.1.0\tdonators\t1.0.0\n" + publicRows;
    const std::string internal = "Aurora\tVST3\t1.2.0\tinternal\t1.0.0\nAurora\tVST3\t1.1.0\t";
    const testSupport::StoredLogins both = {{"aurora", fan}, {"", team}};
    // stored logins, team login switch, arguments, standard output, error stream
    const std::tuple<testSupport::StoredLogins, bool, Paths, std::string, std::string> cases[] = {
        {{}, false, {"list"}, publicRows, ""},
        // While the switch is off not even the internal product list is asked for.
        {both, false, {"list"}, donatorRows, ""},
        // One internal login opens every product's folder; missing ones (Vireo's, Legacy's) are skipped quietly.
        {both, true, {"list"}, internal + "donators\t1.0.0\n" + aurora + auroraFx + nebula + vireo, ""},
        {{{"aurora", {"fan", "old"}}}, false, {"list"}, publicRows, auroraRefused},
        // The shortest build name of the folder becomes a product; its variant is listed after it.
        {{{"orphan", fan}}, false, {"list"},
         aurora + auroraFx + "Orphan\tCLAP\t1.0\tdonators\t\nOrphanFX\tVST3\t1.0\tdonators\t\n" + vireo, ""},
        // A login on the command line serves this run alone; an internal one switches the team login on for it.
        {{}, false, {"list", "--user", "fan", "--password", "pw", "--channel", "donators", "--product", "Aurora"},
         donatorRows, ""},
        {{{"aurora", fan}}, false, {"list", "--user=team", "--password=tpw"},
         internal + "donators\t1.0.0\n" + aurora + auroraFx + nebula + vireo, ""},
        {{}, false, {"list", "Aurora"}, aurora, ""},
        {{}, false, {"list", "Legacy"}, "", "Nothing available for Legacy\n"},
        {{{"", {"team", "old"}}}, true, {"list"}, publicRows,
         "warning: Team login: Login rejected\n" + refused("internal login", "internal")},
    };
    std::vector<size_t> askedAfter; // how many requests the server has seen after each run
    for (const auto& [logins, teamLogin, arguments, out, err] : cases)
    {
        SCOPED_TRACE(testing::PrintToString(arguments));
        run.store(logins, teamLogin);
        const std::string before = stored();
        EXPECT_EQ(run(arguments).outcome(), Outcome(out.empty() ? 1 : 0, out, err));
        EXPECT_EQ(stored(), before);
        askedAfter.push_back(catalog.requestedPaths().size());
    }
    // Of the first two runs, in any order: the sources are asked side by side.
    using S = CatalogServer;
    const Paths asked = catalog.requestedPaths();
    const auto sorted = [](Paths paths) { return std::sort(paths.begin(), paths.end()), paths; };
    EXPECT_EQ(sorted({asked.begin(), asked.begin() + askedAfter[0]}),
              sorted({S::productList, S::versionList, S::release}));
    EXPECT_EQ(sorted({asked.begin() + askedAfter[0], asked.begin() + askedAfter[1]}),
              sorted({S::productList, S::versionList, S::release, S::folder("aurora", Channel::Donators)}));

    // A failed source is a warning; what the others gave is listed (the internal list names Aurora).
    catalog.server.setStatus(CatalogServer::productList, 500);
    run.store({{"", team}}, true);
    EXPECT_EQ(run({"list"}).outcome(), Outcome(0, internal + "internal\t1.0.0\n" + aurora + auroraFx + nebula,
                                             "warning: Could not download the product list\n"));
}

// A folder is known by its folder name, which its login is kept under: a slug given with capitals,
// and a second product naming the same folder, have it read once.
TEST_F(ListingCommands, AFolderIsReadOnceWhateverSpellingOfTheSlugNamesIt)
{
    catalog.publicProducts({CatalogServer::product("Aurora", "AURORA"), CatalogServer::product("Nova", "Aurora")});
    run.store({{"aurora", fan}});
    const std::string rows = "Aurora\tVST3\t1.1.0\tdonators\t1.0.0\nAurora\tVST3\t1.0.0\tpublic\t1.0.0\n";
    EXPECT_EQ(run({"list", "Aurora"}).outcome(), Outcome(0, rows + "Aurora\tCLAP\t1.0.0\tpublic\t\n", ""));
    const Paths asked = catalog.requestedPaths();
    EXPECT_EQ(std::count(asked.begin(), asked.end(), CatalogServer::folder("aurora", Channel::Donators)), 1);
}

// A login is stored only once the server accepted it; teamlogin and paths show or set the setting.
TEST_F(ListingCommands, EachCommandPrintsAndStoresWhatItShould)
{
    const std::string& home = run.home();
    const auto rows = [&home](const std::string& vst3Folder, const char* kind) {
        return "VST2\t" + home + "/.vst\tdefault\nVST3\t" + vst3Folder + "\t" + kind + "\nCLAP\t" + home +
               "/.clap\tdefault\nLV2\t" + home + "/.lv2\tdefault\nStandalone\t" + home + "/.local/bin\tdefault\n";
    };
    const std::string defaults = rows(home + "/.vst3", "default"), studio = home + "/studio/vst3";
    const std::string fan = xml("credentials", fanLogin), none = xml("credentials"), off = xml("pluginManager");
    const std::string au = "  <installPath format=\"AU\" path=\"/some/folder\"/>\r\n";
    const std::string custom = "  <installPath format=\"VST3\" path=\"" + studio + "\"/>\r\n";
    const std::string empty = catalog.server.url(CatalogServer::folder("empty", Channel::Donators));
    // arguments, standard output, error stream, what credentials.xml and settings.xml hold after
    const std::tuple<Paths, std::string, std::string, std::string> steps[] = {
        {{"login", "donators", "Aurora", "--user", "fan", "--password", "wrong"}, "", "Login rejected\n", ""},
        {{"login", "donators", "empty", "--user", "fan", "--password", "pw"}, "", "There is no build in " + empty +
         " yet.\n\nThe folder is there and the login was accepted - nothing has been uploaded into it.\n", ""},
        {{"paths"}, defaults, "", ""},
        {{"login", "donators", "Aurora", "--user", "fan", "--password", "pw"}, "Login stored\n", "", fan},
        // The internal login ignores the product argument, and storing it switches the team login on.
        {{"login", "internal", "aurora", "--user", "team", "--password", "tpw"}, "Login stored\n", "",
         xml("credentials", fanLogin + teamLogin) + teamLoginOn},
        {{"logout", "internal", "aurora"}, "", "", fan + off},
        {{"logout", "donators", "AURORA"}, "", "", none + off},
        {{"teamlogin", "on"}, "on\n", "", none + teamLoginOn},
        {{"teamlogin", "off"}, "off\n", "", none + off},
        // A relative folder is kept as the one it names where the command runs, which is the home folder.
        {{"paths", "VST3", "studio/vst3"}, rows(studio, "custom"), "", none + xml("pluginManager", custom)},
        // AU has no folder here, so no row, but the setting is kept.
        {{"paths", "AU", "/some/folder"}, rows(studio, "custom"), "", none + xml("pluginManager", custom + au)},
        // Naming the default folder forgets the custom one, as "default" does; "~" is the home folder.
        {{"paths", "VST3", "~/.vst3"}, defaults, "", none + xml("pluginManager", au)},
        {{"paths", "AU", "default"}, defaults, "", none + off},
    };
    for (const auto& [arguments, out, err, files] : steps)
    {
        SCOPED_TRACE(testing::PrintToString(arguments));
        EXPECT_EQ(run(arguments).outcome(), Outcome(err.empty() ? 0 : 1, out, err));
        EXPECT_EQ(stored(), files);
    }
    // The same value is written again all the same.
    testSupport::writeFile(run.settingsFile("settings.xml"), teamLoginOn + "<!-- -->");
    EXPECT_EQ(run({"teamlogin", "on"}).outcome(), Outcome(0, "on\n", ""));
    EXPECT_EQ(run.settingsText("settings.xml"), teamLoginOn);
}

// A login given for one run, and the team login switch it turns on, stay out of every save, which
// writes what was stored with the command's own change alone; a stored login it hid is kept.
TEST_F(ListingCommands, ALoginGivenForOneRunIsNeverSaved)
{
    run.store({{"aurora", fan}, {"", team}});
    const auto with = [](Paths arguments) {
        arguments.insert(arguments.end(), {"--user", "team", "--password", "secret"});
        return arguments;
    };
    const std::string clap = "  <installPath format=\"CLAP\" path=\"/c\"/>\r\n";
    EXPECT_EQ(run(with({"teamlogin"})).outcome(), Outcome(0, "on\n", ""));
    EXPECT_EQ(run(with({"logout", "donators", "aurora"})).outcome(), Outcome(0, "", ""));
    EXPECT_EQ(stored(), xml("credentials", teamLogin) + xml("pluginManager"));
    EXPECT_EQ(run(with({"paths", "CLAP", "/c"})).exitCode, 0);
    EXPECT_EQ(stored(), xml("credentials", teamLogin) + xml("pluginManager", clap));
    // Forgetting the place of the one-run login forgets the stored one there.
    EXPECT_EQ(run(with({"logout", "internal"})).outcome(), Outcome(0, "", ""));
    EXPECT_EQ(stored(), xml("credentials") + xml("pluginManager", clap));
}

// A script that reads the output must not take a short one for the whole answer.
TEST_F(ListingCommands, OutputThatCannotBeWrittenFailsTheRun)
{
    const testSupport::ProcessOptions options{testSupport::homeEnvironment(run.home()), run.home()};
    EXPECT_EQ(testSupport::runProcess("sh", {"-c", "exec \"$@\" >/dev/full", "sh", VYRPM_TEST_BINARY, "paths",
                                             "--settings", run.settingsFolder()}, options).outcome(),
              Outcome(1, "", "Could not write the output: No space left on device\n"));
}

// Root may write anywhere, but not a file where a folder stands. The login that gets so far makes
// the only request.
TEST_F(ListingCommands, WrongArgumentsAndFailedSavesAreReportedAndChangeNothing)
{
    for (const char* name : {"credentials.xml", "settings.xml"})
        testSupport::writeFile(run.settingsFile(name) + "/inside", "x");
    const std::string logins = "Could not save " + run.settingsFile("credentials.xml") + ": Is a directory";
    const std::string switches = "Could not save " + run.settingsFile("settings.xml") + ": Is a directory";
    const std::pair<Paths, std::string> cases[] = {
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
        {{"login", "donators", "Aurora", "--user", "fan", "--password", "pw"}, logins},
        {{"logout", "donators", "aurora"}, logins},
        {{"teamlogin", "on"}, switches},
        {{"paths", "VST3", "/x"}, switches},
    };
    // Every command but the word that is none reads both, and says so.
    const std::string folders = unread(run.settingsFile("credentials.xml"), "not a regular file") +
                                unread(run.settingsFile("settings.xml"), "not a regular file");
    for (const auto& [arguments, message] : cases)
        EXPECT_EQ(run(arguments).outcome(),
                  Outcome(1, "", (arguments[0] == "frobnicate" ? "" : folders) + message + "\n"));
    EXPECT_EQ(catalog.requestedPaths(), Paths{CatalogServer::folder("aurora", Channel::Donators)});
}

// A FIFO in place of a stored file is neither waited for nor read, though one holds a settings
// document, nor replaced by a save, which says why and changes nothing.
TEST_F(ListingCommands, StoredFilesThatAreNoRegularFilesAreNeitherWaitedForNorReadNorReplaced)
{
    const char* const names[] = {"credentials.xml", "settings.xml", "installed.json"};
    for (const char* name : names)
    {
        std::remove(run.settingsFile(name).c_str());
        ASSERT_EQ(::mkfifo(run.settingsFile(name).c_str(), 0644), 0);
    }
    // The document waits in the FIFO with no writer left, so that a reader would read it to its end.
    const int held = ::open(run.settingsFile("settings.xml").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    const int writer = ::open(run.settingsFile("settings.xml").c_str(), O_WRONLY | O_CLOEXEC);
    const std::string custom = xml("pluginManager", "  <installPath format=\"VST3\" path=\"/fifo\"/>\r\n");
    ASSERT_EQ(::write(writer, custom.data(), custom.size()), static_cast<ssize_t>(custom.size()));
    ::close(writer);
    const auto notAFile = [this](const char* name) {
        return "Could not save " + run.settingsFile(name) + ": it is not a regular file\n";
    };
    std::string fifos;
    for (const char* name : names)
        fifos += unread(run.settingsFile(name), "not a regular file");
    const std::string vst3 = "VST3\t" + run.home() + "/.vst3\tdefault\n";
    EXPECT_NE(run({"paths"}).out.find(vst3), std::string::npos);
    EXPECT_EQ(run({"paths", "VST3", "/x"}).outcome(), Outcome(1, "", fifos + notAFile("settings.xml")));
    EXPECT_EQ(run({"logout", "internal"}).outcome(), Outcome(1, "", fifos + notAFile("credentials.xml")));
    ::close(held);
    for (const char* name : names)
        EXPECT_EQ(std::filesystem::status(run.settingsFile(name)).type(), std::filesystem::file_type::fifo) << name;
}

// The first login stays at the server until the second run waits; each run loads the stored logins
// at its start and writes them whole at its end.
TEST_F(ListingCommands, RunsThatChangeStoredFilesTakeTurnsAndTheOthersDoNotWait)
{
    if (!std::ifstream("/proc/locks"))
        GTEST_SKIP() << "/proc/locks is not there to see that the second run waits";
    catalog.channelFolder("vireo", Channel::Donators, {build("Vireo", "VST3", "1.0")}, fan);
    const std::string aurora = CatalogServer::folder("aurora", Channel::Donators);
    const std::string vireoLogin = "  <login key=\"donators:vireo\" user=\"fan\" pw=\"W3k=\"/>\r\n";
    const auto loginTo = [this](const std::string& product) {
        const Paths arguments = {"login", "donators", product, "--user", "fan", "--password", "pw"};
        return std::async(std::launch::async, [this, arguments] { return run(arguments).outcome(); });
    };
    const auto waiting = std::chrono::milliseconds(2);
    // Each wait ends when its condition holds, or when the run is over without it.
    catalog.server.hold(aurora);
    auto first = loginTo("Aurora");
    while (catalog.server.requestCount(aurora) == 0 && first.wait_for(waiting) != std::future_status::ready)
        continue;
    EXPECT_EQ(run({"teamlogin"}).outcome(), Outcome(0, "off\n", ""));
    auto second = loginTo("Vireo");
    while (!testSupport::someoneWaitsToLock(run.settingsFile("run.lock")) && second.wait_for(waiting) != std::future_status::ready)
        continue;
    catalog.server.release(aurora);

    EXPECT_EQ(first.get(), Outcome(0, "Login stored\n", ""));
    EXPECT_EQ(second.get(), Outcome(0, "Login stored\n", "Waiting for another run of vyrpm to finish\n"));
    EXPECT_EQ(run.settingsText("credentials.xml"), xml("credentials", fanLogin + vireoLogin));
}

// Read as empty, a file that could not be read would be lost at the next save; it is kept aside
// first, never over a copy kept before. An empty file holds nothing to keep. A file counts as read
// only as a whole: the framework's parser would have read the first elements of some and dropped
// the rest. Every command that reads one says so, and why, and goes on without it; one that only
// reads leaves it as it is.
TEST_F(ListingCommands, AFileThatCouldNotBeReadIsNamedAndKeptAsideBeforeASaveReplacesIt)
{
    const Paths loginFan = {"login", "donators", "Aurora", "--user", "fan", "--password", "pw"};
    const std::string lv2 = "  <installPath format=\"LV2\" path=\"/l\"/>\r\n", custom = "<installPath format=\"VST3\" "
                            "path=\"/studio\"/><installPath format=\"CLAP\" path=\"/a&b\"/>";
    // file, its content, the command, why it is not read, where it is kept ("" for nowhere), the file after
    const std::tuple<std::string, std::string, Paths, std::string, std::string, std::string> cases[] = {
        {"credentials.xml", xml("credentials", fanLogin + teamLogin).substr(0, 150), loginFan,
         "not well-formed XML at line 5", "credentials.xml.damaged", xml("credentials", fanLogin)},
        {"credentials.xml", "<credentials>", {"logout", "donators", "aurora"}, "not well-formed XML at line 1",
         "credentials.xml.damaged-2", xml("credentials")},
        {"credentials.xml", "<credentials>\n" + fanLogin + "</credential>", {"list", "Aurora"},
         "not well-formed XML at line 3", "", "<credentials>\n" + fanLogin + "</credential>"},
        {"credentials.xml", "", loginFan, "an empty file", "", xml("credentials", fanLogin)},
        {"credentials.xml", "<credentials/>\n" + teamLogin, {"logout", "donators", "aurora"},
         "not well-formed XML at line 2", "credentials.xml.damaged-3", xml("credentials")},
        {"settings.xml", "<pluginManager>" + custom + "</pluginManager>", {"paths"}, "not well-formed XML at line 1",
         "", "<pluginManager>" + custom + "</pluginManager>"},
        {"settings.xml", "<pluginManager><installPath format=\"CLAP\" path=/home/me/clap/></pluginManager>",
         {"paths", "LV2", "/l"}, "not well-formed XML at line 1", "settings.xml.damaged", xml("pluginManager", lv2)},
        {"settings.xml", teamLoginOn + std::string(largestStoredFile, ' '), {"paths", "LV2", "/l"},
         "larger than 1 MiB", "settings.xml.damaged-2", xml("pluginManager", lv2)},
    };
    for (const auto& [name, content, arguments, why, kept, after] : cases)
    {
        SCOPED_TRACE(name + " " + testing::PrintToString(arguments));
        testSupport::writeFile(run.settingsFile(name), content);
        const std::string notice = "Could not read " + run.settingsFile(name) + "; it is kept as ";
        const auto result = run(arguments);
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_EQ(result.err, (why.empty() ? "" : unread(run.settingsFile(name), why)) +
                                  (kept.empty() ? "" : notice + run.settingsFile(kept) + "\n"));
        EXPECT_EQ(run.settingsText(kept), kept.empty() ? "" : content);
        EXPECT_EQ(run.settingsText(name), after);
    }
}

// A save runs the reader's own check on the text it is about to write: each quote of this path,
// written as "&quot;", takes the value past its bound, and the next run would set the file aside.
// The save fails, saying why, and the file stays as it was with nothing set aside.
TEST_F(ListingCommands, ASaveTheNextRunCouldNotReadBackIsRefusedAndChangesNothing)
{
    const std::string keep = xml("pluginManager", "  <installPath format=\"CLAP\" path=\"/keep\"/>\r\n");
    testSupport::writeFile(run.settingsFile("settings.xml"), keep);
    EXPECT_EQ(run({"paths", "VST3", "/" + std::string(11000, '"')}).outcome(),
              Outcome(1, "", "Could not save " + run.settingsFile("settings.xml") +
                                 ": it would not be read back (a value longer than 64 KiB)\n"));
    EXPECT_EQ(run.settingsText("settings.xml") + run.settingsText("settings.xml.damaged"), keep);
    // The longest real folder path fits all the same.
    const std::string longest = "/" + std::string(4094, '"');
    EXPECT_EQ(run({"paths", "VST3", longest}).exitCode, 0);
    EXPECT_NE(run({"paths"}).out.find("VST3\t" + longest + "\tcustom\n"), std::string::npos);
}

// A run that the system gives few threads, or none beside its own, lists what any other lists. A
// body that ends before the size its server announced is no answer: list says what a failed
// request of that source says. The folder is cut past its first build, where a part of its list
// would still pass for one.
TEST_F(ListingCommands, ListGoesOnWithTheThreadsItGetsAndFailsASourceCutShortAsAFailedOne)
{
    run.store({{"aurora", fan}});
    const Outcome whole = run({"list"}).outcome();
    for (const char* threads : {"0", "2"})
        EXPECT_EQ(run({"list"}, {{"VYRPM_TEST_THREADS", threads}}).outcome(), whole) << threads << " threads";
    const std::pair<std::string, size_t> cuts[] = {{CatalogServer::folder("aurora", Channel::Donators), 150},
                                                   {CatalogServer::productList, 40}};
    for (const auto& [path, bytes] : cuts)
    {
        SCOPED_TRACE(path);
        catalog.server.cutOff(path, bytes);
        const Outcome cut = run({"list"}).outcome();
        catalog.server.setStatus(path, 500);
        EXPECT_EQ(cut, run({"list"}).outcome());
        EXPECT_NE(cut, whole);
    }
}

// A product name goes into the builds server's address as the one folder it names, escaped where
// an address could not hold it as it stands; a name whose folder would climb out of the builds
// folder is refused before any request, so its login goes nowhere.
TEST_F(ListingCommands, ALoginGoesToTheFolderItsProductNamesOrNowhere)
{
    catalog.channelFolder("x?y#z", Channel::Donators, {build("Aurora", "VST3", "1.0.0")}, fan);
    EXPECT_EQ(run({"login", "donators", "x?y#z", "--user", "fan", "--password", "pw"}).outcome(),
              Outcome(0, "Login stored\n", ""));
    EXPECT_EQ(run({"login", "donators", "../../up", "--user", "fan", "--password", "pw"}).outcome(),
              Outcome(1, "", "\"../../up\" cannot name a folder on the builds server: its folder name would be empty "
                             "or hold \".\" or \"..\" between slashes.\n"));
    EXPECT_EQ(catalog.requestedPaths(), Paths{CatalogServer::folder("x?y#z", Channel::Donators)});
}
