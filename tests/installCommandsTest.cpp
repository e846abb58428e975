// End-to-end runs of install and uninstall: the test build of the program against a loopback
// catalog, with a home folder of its own.
#include "manager/state/installedPlugins.h"

#include "installFixture.h"
#include "support/catalogServer.h"
#include "support/lockWaiters.h"
#include "support/programRun.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <future>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace pluginManager;
using testSupport::CatalogServer;
using testSupport::Outcome;
using testSupport::readFile;
using testSupport::writeFile;
using namespace installTests;
using namespace std::chrono_literals;

namespace
{
using Files = std::vector<std::pair<std::string, std::string>>;

const Credentials fan{"fan", "pw"};
// The date every channel build is served with, and the same in seconds since 1970.
const char* const channelDate = "Thu, 02 May 2024 09:00:00 GMT";
const char* const channelSeconds = "1714640400";
const std::string leftAsItWas = ".\n\nThe installed plug-in was left as it was, so that none of your files is lost.";
const std::string notRemoved = ".\n\nThe plug-in was not removed, so that none of your files is lost.";

// A build holds its plug-in, named as this platform names it and telling its own version, and
// its extra files.
struct Build
{
    std::string product, format, version;
    Channel channel = Channel::Public;
    Files extra = {};
    Files unversioned = {}; // the same bytes in every build
};

Files contentOf(const Build& build)
{
    const std::string& name = build.product;
    const std::string arch = PlatformUtils::getCurrentArch();
    Files files = {{build.format == "VST3"   ? name + ".vst3/Contents/" + arch + "-linux/" + name + ".so"
                    : build.format == "CLAP" ? name + ".clap"
                                             : name,
                    name + " " + build.format + " " + build.version}};
    for (const auto& [path, content] : build.extra)
        files.emplace_back(path, content + " " + build.version);
    files.insert(files.end(), build.unversioned.begin(), build.unversioned.end());
    return files;
}

// An archive of CatalogServer::zip with one byte of name's data flipped, or with the size its
// directory declares for name cut to four bytes.
std::string damaged(std::string zip, const std::string& name, bool declaredSize = false)
{
    if (declaredSize)
        zip[zip.rfind(name) - 22] = 4;
    else
        zip[zip.find(name) + name.size() + 2] ^= 0x5a;
    return zip;
}

class InstallCommands : public ::testing::Test
{
protected:
    // A channel build lies in its product's donators folder (the product's id in lower case),
    // behind the login fan, with a product list of its own when channelProducts are given.
    void publish(const Lines& products, const std::vector<Build>& builds, const Lines& channelProducts = {})
    {
        catalog.publicProducts(products);
        Lines publicNames;
        std::map<std::string, Lines> folders;
        for (const Build& build : builds)
        {
            const std::string name = CatalogServer::build(build.product, build.format, build.version);
            const std::string zip = CatalogServer::zip(contentOf(build));
            if (build.channel == Channel::Public)
            {
                publicNames.push_back(name);
                catalog.serveFile(CatalogServer::publicFile(name), zip);
                continue;
            }
            const std::string slug = juce::String(build.product).toLowerCase().toStdString();
            folders[slug].push_back(name);
            catalog.serveFile(CatalogServer::folder(slug, Channel::Donators) + name, zip, channelDate);
        }
        catalog.publicBuilds(publicNames);
        for (const auto& [slug, names] : folders)
            catalog.channelFolder(slug, Channel::Donators, names, fan, channelProducts);
    }

    std::string home(const std::string& relative) const { return run.home() + "/" + relative; }
    std::string data(const std::string& relative) const { return home(".local/share/Kestavel/" + relative); }
    std::string installing(const std::string& build, const std::string& channel, const std::string& folder) const
    {
        return "Installing Aurora " + build + " (" + channel + ") to " + home(folder) + "\nAurora " + build +
               " installed\n";
    }

    // installed.json, one line per record: product, format, version, path, server time and items.
    Lines record() const
    {
        InstalledPlugins installed(false);
        run.withSettings([&installed] { installed.load(); });
        Lines lines;
        for (InstalledPlugins::Entry entry : installed.entries)
        {
            std::sort(entry.files.begin(), entry.files.end());
            lines.push_back(entry.product + " " + entry.format + " " + entry.version + " " + entry.path + " "
                            + std::to_string(entry.modified));
            for (const std::string& file : entry.files)
                lines.back() += " " + file;
        }
        return lines;
    }

    CatalogServer catalog;
    testSupport::ProgramRun run{catalog.server.url("/")};
};
}

TEST_F(InstallCommands, EachFormatInstallsInTheCatalogsOrderFromItsBestChannelAndIsRecorded)
{
    // The channel folder's own product list names other additional files than the public one; its
    // file lies behind the folder's login.
    const auto skin = [&](const std::string& path) {
        catalog.serveFile(path, "skin");
        return R"(, "files": [{"folder": "skins", "urls": [")" + catalog.server.url(path) + R"("]}])";
    };
    // CLAP 1.0.0 is on both channels, VST3 1.1.0 on the donators channel alone.
    publish({CatalogServer::product("Aurora", "aurora", skin("/extras/public.skin"))},
            {{"Aurora", "CLAP", "1.0.0", Channel::Donators},
             {"Aurora", "CLAP", "1.0.0"},
             {"Aurora", "CLAP", "0.9.0"},
             {"Aurora", "VST3", "1.0.0"},
             {"Aurora", "VST3", "1.1.0", Channel::Donators, {{"Aurora presets/a.preset", "preset"}}}},
            {CatalogServer::product("Aurora", "aurora",
                                    skin(CatalogServer::folder("aurora", Channel::Donators) + "donators.skin"))});
    const Lines login = {"--user", "fan", "--password", "pw", "--channel", "donators", "--product", "aurora"};
    const auto install = [&](Lines arguments) {
        arguments.insert(arguments.begin(), "install");
        arguments.insert(arguments.end(), login.begin(), login.end());
        return run(arguments).outcome();
    };

    EXPECT_EQ(install({"Aurora"}),
              Outcome(0, installing("VST3 1.1.0", "donators", ".vst3") + "1 additional file installed\n" +
                             installing("CLAP 1.0.0", "public", ".clap") + "1 additional file installed\n", ""));
    EXPECT_EQ(readFile(home(".clap/Aurora.clap")) + readFile(home(".vst3/Aurora presets/a.preset")),
              "Aurora CLAP 1.0.0preset 1.1.0");
    EXPECT_TRUE(fs::is_directory(data("Aurora/roms")));
    EXPECT_EQ(record(), (Lines{"Aurora VST3 1.1.0 " + home(".vst3/Aurora.vst3") + " " + channelSeconds +
                                   " Aurora presets Aurora.vst3",
                               "Aurora CLAP 1.0.0 " + home(".clap/Aurora.clap") + " 0 Aurora.clap"}));

    // arguments, out, err: what cannot be installed is reported and fails the run, and the other
    // formats still install.
    const std::tuple<Lines, std::string, std::string> cases[] = {
        {{"Aurora", "--version", "0.9.0"}, installing("CLAP 0.9.0", "public", ".clap"),
         "No build of Aurora VST3 0.9.0 for this platform\n"},
        {{"Aurora", "--format", "LV2"}, "", "No build of Aurora LV2 for this platform\n"},
        {{"Nobody"}, "", "Nothing available for Nobody on this platform\n"},
        {{}, "", "install needs a product\n"},
    };
    for (const auto& [arguments, out, err] : cases)
        EXPECT_EQ(install(arguments), Outcome(1, out, err));
}

TEST_F(InstallCommands, AdditionalFilesAreFetchedOnceAndAgainOnlyWhenTheServersCopyIsNewer)
{
    const std::string files = R"(, "files": [{"folder": "skins", "urls": [")" +
                              catalog.server.url("/extras/Dark.skin") + R"(", {"url": ")" +
                              catalog.server.url("/extras/a%20b.bin?size=1#top") + R"(", "path": "sub/"}]}])";
    publish({CatalogServer::product("Aurora", "aurora", files)}, {{"Aurora", "CLAP", "1.0.0"}});
    catalog.serveFile("/extras/a b.bin", "rom", "Wed, 01 May 2024 10:00:00 GMT");
    // the server's date of the skin, the skin after the run, the run's summary
    const std::tuple<std::string, std::string, std::string> runs[] = {
        {"Wed, 01 May 2024 10:00:00 GMT", "skin from server", "2 additional files installed\n"},
        // The user's edit is younger than the server's copy, so it stays.
        {"Wed, 01 May 2024 10:00:00 GMT", "edited", ""},
        {"Fri, 01 Jan 2100 00:00:00 GMT", "skin from server", "1 additional file installed\n"},
    };
    for (const auto& [serverDate, skinAfter, summary] : runs)
    {
        catalog.serveFile("/extras/Dark.skin", "skin from server", serverDate);
        EXPECT_EQ(run({"install", "Aurora"}).outcome(),
                  Outcome(0, installing("CLAP 1.0.0", "public", ".clap") + summary, ""));
        EXPECT_EQ(readFile(data("Aurora/skins/Dark.skin")), skinAfter) << serverDate;
        EXPECT_EQ(readFile(data("Aurora/skins/sub/a b.bin")), "rom");
        writeFile(data("Aurora/skins/Dark.skin"), "edited");
    }
    EXPECT_EQ(catalog.server.requestCount("/extras/a b.bin"), 3u); // one download, then two date checks
}

// A server's answer reaches only the web: an additional file whose address names a file on this
// machine is refused like one that would land outside the data folder, and the file is not read.
TEST_F(InstallCommands, AdditionalFilesThatWouldLeaveTheDataFolderOrNameALocalFileFailTheRunAfterTheInstall)
{
    const auto url = [&](const std::string& path) { return '"' + catalog.server.url("/extras/" + path) + '"'; };
    const std::string secret = "file://" + home("secret");
    const std::string files = R"(, "files": [{"folder": "linked", "urls": [)" + url("x.bin") +
                              R"(]}, {"folder": "ok", "urls": [{"url": )" + url("x.bin") + R"(, "path": "inner/"}, )" +
                              url("") + ", " + url("missing.bin") + ", " + url("x.bin") + ", \"" + secret + "\"]}]";
    writeFile(home("secret"), "mine alone");
    publish({CatalogServer::product("Aurora", "aurora", files)}, {{"Aurora", "CLAP", "1.0.0"}});
    catalog.serveFile("/extras/x.bin", "extra");
    // Links the user (or anyone) left in the data folder lead outside it.
    fs::create_directories(home("outside"));
    makeLink(home("outside"), data("Aurora/linked"));
    makeLink(home("outside"), data("Aurora/ok/inner"));

    EXPECT_EQ(run({"install", "Aurora"}).outcome(),
              Outcome(1, installing("CLAP 1.0.0", "public", ".clap"),
                      "5 additional files could not be installed: \"linked\" is not a folder of the product's own\n"));
    const Lines log = httpTests::logLines(run.settingsFile("log.txt"));
    for (const std::string& failure : Lines{"\"inner/x.bin\" is not a path inside ok", "missing.bin: HTTP 404",
                                            catalog.server.url("/extras/") + " does not end in a file name",
                                            "secret: Not a web address: " + secret})
        EXPECT_NE(std::find(log.begin(), log.end(), "Additional file for Aurora: " + failure), log.end()) << failure;
    EXPECT_FALSE(fs::exists(data("Aurora/ok/secret")));
    EXPECT_EQ(readFile(data("Aurora/ok/x.bin")), "extra");
    EXPECT_EQ(namesIn(home("outside")), Lines{});
}

TEST_F(InstallCommands, UninstallRemovesWhatNoOtherInstallListsAndAProgramFolderLeftEmpty)
{
    // Pair belongs to two formats removed together, Common also to a product that stays.
    const Files pair = {{"Pair/a.dat", "a"}}, both = {{"Pair/a.dat", "a"}, {"Common/c.dat", "c"}};
    publish({CatalogServer::product("Aurora", "aurora"), CatalogServer::product("Vireo", "vireo")},
            {{"Aurora", "VST3", "1.0.0", Channel::Public, both},
             {"Aurora", "CLAP", "1.0.0", Channel::Public, pair},
             {"Aurora", "Standalone", "1.0.0"},
             {"Vireo", "CLAP", "2.0.0", Channel::Public, {{"Common/c.dat", "c"}}}});
    const std::string folder = home("plugins"), program = home(".local/bin/Aurora");
    for (const Lines& arguments : {Lines{"paths", "VST3", folder}, {"paths", "CLAP", folder}, {"install", "Aurora"},
                                   {"install", "Vireo"}})
        ASSERT_EQ(run(arguments).exitCode, 0);
    writeFile(folder + "/Aurora.vst3/Contents/user.bin", "my rom");
    // Links the user made in the bundle are not walked: what they lead to keeps its files.
    writeFile(home("dev/firmware.bin"), "firmware");
    makeLink(home("dev"), folder + "/Aurora.vst3/Contents/dev");
    makeLink(home("dev/firmware.bin"), folder + "/Aurora.vst3/Contents/linked.bin");

    // While its ROM file has nowhere to go, the bundle stays, is not reported removed, and keeps the
    // item it shares with a format that goes.
    const std::string roms = data("Aurora/roms");
    fs::remove(roms);
    writeFile(roms, "");
    EXPECT_EQ(run({"uninstall", "Aurora"}).outcome(),
              Outcome(1, "Aurora CLAP removed\nAurora Standalone removed\n",
                      "Could not make " + roms + " for " + folder + "/Aurora.vst3/Contents/user.bin" +
                          ".\n\nThe plug-in was not removed, so that none of your files is lost.\n"));
    EXPECT_EQ(readFile(folder + "/Pair/a.dat"), "a 1.0.0");
    fs::remove(roms);
    ASSERT_EQ(run({"install", "Aurora", "--format", "CLAP"}).exitCode, 0);
    // A mistyped --format would choose no format, and so every one.
    EXPECT_EQ(run({"uninstall", "Aurora", "--formt", "CLAP"}).outcome(),
              Outcome(1, run({"help"}).out, "Unknown option: --formt\n\n"));

    EXPECT_EQ(run({"uninstall", "Aurora"}).outcome(), Outcome(0, "Aurora VST3 removed\nAurora CLAP removed\n", ""));
    EXPECT_EQ(namesIn(folder).size(), 2u);
    EXPECT_TRUE(fs::exists(folder + "/Vireo.clap") && fs::exists(folder + "/Common/c.dat"));
    EXPECT_EQ(namesIn(roms), Lines{"user.bin"});
    EXPECT_EQ(readFile(home("dev/firmware.bin")), "firmware");
    EXPECT_FALSE(fs::exists(program));
    EXPECT_EQ(record(), Lines{"Vireo CLAP 2.0.0 " + folder + "/Vireo.clap 0 Common Vireo.clap"});
    EXPECT_EQ(run({"uninstall", "Vireo"}).out, "Vireo CLAP removed\n");
    EXPECT_EQ(namesIn(folder), Lines{});

    // The program's folder stays while it holds files of the user's.
    ASSERT_EQ(run({"install", "Aurora", "--format", "Standalone"}).exitCode, 0);
    writeFile(program + "/.settings", "mine");
    EXPECT_EQ(run({"uninstall", "Aurora"}).out, "Aurora Standalone removed\n");
    EXPECT_EQ(namesIn(program), Lines{".settings"});
    EXPECT_EQ(run({"uninstall", "Aurora"}).outcome(), Outcome(1, "", "Nothing of Aurora is installed here\n"));
}

// An uninstall that cannot take all of the plug-in, or cannot keep its ROM file on a full disk,
// leaves the plug-in whole with the ROM file and its record, and does not call it removed.
TEST_F(InstallCommands, AnUninstallThatCannotFinishLeavesThePluginWholeWithItsRecord)
{
    publish({CatalogServer::product("Aurora", "aurora")}, {{"Aurora", "VST3", "1.0.0"}});
    ASSERT_EQ(run({"install", "Aurora"}).exitCode, 0);
    const std::string bundle = home(".vst3/Aurora.vst3"), roms = data("Aurora/roms");
    const std::string rom = bundle + "/Contents/Resources/factory.bin", held = bundle + "/Contents/Resources/a/held";
    writeFile(rom, std::string(2000000, 'r'));
    writeFile(held, "held");
    const auto plugins = describeTree(home(".vst3"));
    const Lines recorded = record();
    const auto expectRefused = [&](const std::string& error, rlim_t fileSizeLimit) {
        EXPECT_EQ(inChild([&] {
                      if (!testSupport::limitFileSize(fileSizeLimit))
                          return std::string("no file size limit");
                      const auto result = run({"uninstall", "Aurora"});
                      return std::to_string(result.exitCode) + " " + result.out + result.err;
                  }),
                  "1 " + error + "\n");
        EXPECT_EQ(describeTree(home(".vst3")), plugins);
        EXPECT_EQ(namesIn(roms), Lines{});
        EXPECT_EQ(record(), recorded);
    };
    expectRefused("Could not keep " + rom + " in " + roms +
                      ": File too large.\n\nThe plug-in was not removed, so that none of your files is lost.",
                  1000000);
    // The immutable and append-only flags bind root too.
    for (const std::string flag : {"i", "a"})
    {
        if (testSupport::runProcess("chattr", {"+" + flag, held}).exitCode != 0)
            GTEST_SKIP() << "the file system here cannot mark a file with " << flag;
        expectRefused("Could not remove " + bundle +
                          ".\n\nIt may be open in a host, or belong to a user with more rights than this one.",
                      RLIM_INFINITY);
        testSupport::runProcess("chattr", {"-" + flag, held});
    }
}

// Killed at any step, an uninstall leaves its plug-in whole under its name or not there at all,
// and the ROM file whole in the plug-in or in the rom folder, never a part of it under the ROM's
// own name. The next install clears what the killed run left.
TEST_F(InstallCommands, AnUninstallKilledAtAnyStepLeavesNoPartOfAnythingUnderANameThatCounts)
{
    publish({CatalogServer::product("Aurora", "aurora")}, {{"Aurora", "VST3", "1.0.0"}});
    ASSERT_EQ(run({"install", "Aurora"}).exitCode, 0);
    const std::string bundle = home(".vst3/Aurora.vst3"), roms = data("Aurora/roms");
    const std::string inBundle = "Contents/Resources/factory.bin", romBytes(600000, 'r'); // three pieces of a copy
    int step = 0, exitCode = -1;
    while (exitCode != 0 && step < 20)
    {
        SCOPED_TRACE("killed at step " + std::to_string(++step));
        fs::remove_all(roms);
        writeFile(bundle + "/" + inBundle, romBytes);
        const auto whole = describeTree(bundle);
        auto moved = whole;
        moved.erase(inBundle);
        {
            const testSupport::ScopedEnv killAt("VYRPM_TEST_STEP", std::to_string(step));
            exitCode = run({"uninstall", "Aurora"}).exitCode;
        }
        const auto now = fs::exists(bundle) ? describeTree(bundle) : decltype(whole){};
        if (fs::exists(roms + "/factory.bin"))
            EXPECT_TRUE(readFile(roms + "/factory.bin") == romBytes && (now == whole || now == moved || now.empty()));
        else
            EXPECT_EQ(now, whole);
        EXPECT_EQ(run({"install", "Aurora"}).exitCode, 0);
        EXPECT_EQ(namesIn(roms), Lines{"factory.bin"});
    }
    EXPECT_EQ(exitCode, 0) << "an uninstall that nothing stops succeeds";
    EXPECT_GT(step, 5) << "the copy of the ROM file and the removal have steps to be killed after";
}

namespace
{
using Tree = std::map<std::string, std::string>;

void copyTree(const std::string& from, const std::string& to)
{
    fs::remove_all(to);
    fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
}

// Multi installs a bundle, a data folder, a loose file and Common, which Other installs too; its
// 1.0.0 also ships OldOnly, which 1.1.0 no longer does. A round of a test kills a run at one more
// of the steps that change the plug-in folder, until a run is no longer cut short. The home folder
// the runs share is kept aside and put back, so that each round starts where a run left it.
class SharedItems : public InstallCommands
{
protected:
    void SetUp() override
    {
        const Files common = {{"Common/c.dat", "common"}}, data = {{"MultiData/d.dat", "d"}, {"Multi-top.cfg", "cfg"}};
        Files old = data;
        old.emplace_back("OldOnly/o.dat", "o");
        publish({CatalogServer::product("Multi", "multi"), CatalogServer::product("Other", "other")},
                {{"Multi", "VST3", "1.0.0", Channel::Public, old, common},
                 {"Multi", "VST3", "1.1.0", Channel::Public, data, common},
                 {"Other", "VST3", "1.0.0", Channel::Public, {}, common}});
        ASSERT_EQ(run({"install", "Other"}).exitCode, 0);
        otherAlone = plugins();
        otherRecord = {"Other VST3 1.0.0 " + home(".vst3/Other.vst3") + " 0 Common Other.vst3"};
        settingsNames = namesIn(run.settingsFolder());
    }

    Tree plugins() const { return describeTree(home(".vst3")); }
    void keep(const std::string& name) const { copyTree(run.home(), kept.file(name)); }
    void putBack(const std::string& name) const { copyTree(kept.file(name), run.home()); }
    static testSupport::EnvironmentChanges killedAt(int step) { return {{"VYRPM_TEST_STEP", std::to_string(step)}}; }

    // The plug-in folder holds tree and installed.json names exactly what it holds; nothing of the
    // runs is left in the temporary folder or the settings folder, and the rom folder holds roms.
    void expectWhole(const Tree& tree, const Lines& recorded, const Lines& roms = {}) const
    {
        EXPECT_EQ(plugins(), tree);
        EXPECT_EQ(record(), recorded);
        EXPECT_EQ(namesIn(run.temporaryFolder()), Lines{});
        EXPECT_EQ(namesIn(run.settingsFolder()), settingsNames);
        EXPECT_EQ(fs::is_directory(data("Multi/roms")) ? namesIn(data("Multi/roms")) : Lines{}, roms);
    }

    testSupport::TempFolder kept;
    Tree otherAlone;
    Lines otherRecord, settingsNames;
};
}

// Killed at any step, an install has named its items already: the same install again leaves the
// whole new plug-in and a record of it, and an uninstall instead takes every item, leaving Common,
// which Other still lists.
TEST_F(SharedItems, AnInstallKilledAtAnyStepIsFinishedByRunningItAgainOrTakenWholeByAnUninstall)
{
    keep("before");
    ASSERT_EQ(run({"install", "Multi"}).exitCode, 0);
    const Tree after = plugins();
    const Lines afterRecord = {otherRecord.front(), "Multi VST3 1.1.0 " + home(".vst3/Multi.vst3") +
                                                        " 0 Common Multi-top.cfg Multi.vst3 MultiData"};
    int step = 0, exitCode = -1;
    while (exitCode != 0 && step < 60)
    {
        SCOPED_TRACE("killed at step " + std::to_string(++step));
        putBack("before");
        exitCode = run({"install", "Multi"}, killedAt(step)).exitCode;
        keep("killed");
        EXPECT_EQ(run({"install", "Multi"}).exitCode, 0);
        expectWhole(after, afterRecord);
        putBack("killed");
        EXPECT_EQ(run({"uninstall", "Multi"}).outcome(), Outcome(0, "Multi VST3 removed\n", ""));
        expectWhole(otherAlone, otherRecord);
    }
    EXPECT_EQ(exitCode, 0) << "an install that nothing stops succeeds";
    EXPECT_GT(step, 12) << "each item is copied, staged and swapped in by steps of its own";
}

// Killed at any step, the same uninstall again finishes the removal, ROM files of every item kept
// (OldOnly too, which 1.1.0 no longer ships), and then finds nothing to remove. A plug-in whose own items were deleted by hand is not
// installed, though Common is still there, and its uninstall drops its record.
TEST_F(SharedItems, AnUninstallKilledAtAnyStepIsFinishedByRunningItAgain)
{
    ASSERT_EQ(run({"install", "Multi", "--version", "1.0.0"}).exitCode + run({"install", "Multi"}).exitCode, 0);
    writeFile(home(".vst3/MultiData/d.bin"), "rom d");
    writeFile(home(".vst3/OldOnly/o.bin"), "rom o");
    keep("installed");
    int step = 0, exitCode = -1;
    while (exitCode != 0 && step < 40)
    {
        SCOPED_TRACE("killed at step " + std::to_string(++step));
        putBack("installed");
        exitCode = run({"uninstall", "Multi"}, killedAt(step)).exitCode;
        EXPECT_EQ(run({"uninstall", "Multi"}).outcome(),
                  exitCode == 0 ? Outcome(1, "", "Nothing of Multi is installed here\n")
                                : Outcome(0, "Multi VST3 removed\n", ""));
        expectWhole(otherAlone, otherRecord, {"d.bin", "o.bin"});
        EXPECT_EQ(readFile(data("Multi/roms/d.bin")) + readFile(data("Multi/roms/o.bin")), "rom drom o");
    }
    EXPECT_EQ(exitCode, 0);
    EXPECT_GT(step, 8);

    putBack("installed");
    for (const std::string item : {"Multi.vst3", "MultiData", "Multi-top.cfg", "OldOnly"})
        fs::remove_all(home(".vst3/" + item));
    EXPECT_EQ(run({"list", "Multi"}).out, "Multi\tVST3\t1.1.0\tpublic\t\nMulti\tVST3\t1.0.0\tpublic\t\n");
    EXPECT_EQ(run({"uninstall", "Multi"}).outcome(), Outcome(0, "Multi VST3 removed\n", ""));
    expectWhole(otherAlone, otherRecord);
}

// An install that fails after it named its items puts the record back as it was.
TEST_F(SharedItems, AnInstallThatFailsAfterNamingItsItemsLeavesTheRecordAsItWas)
{
    const std::string mine = home(".vst3/Multi-top.cfg");
    writeFile(mine, "mine");
    // The immutable flag binds root too.
    if (testSupport::runProcess("chattr", {"+i", mine}).exitCode != 0)
        GTEST_SKIP() << "the file system here cannot make a file immutable";
    const auto result = run({"install", "Multi"});
    testSupport::runProcess("chattr", {"-i", mine});
    EXPECT_EQ(result.err, "Could not replace " + mine +
                              ".\n\nIt may be open in a host, or belong to a user with more rights than this one.\n");
    expectWhole(describeTree(home(".vst3")), otherRecord);
}

// Two runs with settings of their own install into one folder: the second, started while the first
// is making its copy there, clears nothing of that copy, and makes its own once the first is done.
TEST_F(InstallCommands, TwoRunsInstallingIntoOneFolderEachPutAWholePluginThere)
{
    publish({CatalogServer::product("Aurora", "aurora")},
            {{"Aurora", "VST3", "1.0.0", Channel::Public, {{"Presets/a.preset", "preset"}}}});
    const std::string build = CatalogServer::publicFile(CatalogServer::build("Aurora", "VST3", "1.0.0"));
    const testSupport::ProgramRun other(catalog.server.url("/"));
    ASSERT_EQ(run({"paths", "VST3", home("shared")}).exitCode + other({"paths", "VST3", home("shared")}).exitCode, 0);
    const testSupport::TempFolder hold;
    std::future<Outcome> first;
    // Each wait ends when its condition holds, or when the run is over without it.
    {
        const testSupport::ScopedEnv at("VYRPM_TEST_STEP", "1"), where("VYRPM_TEST_HOLD_FOLDER", hold.path());
        first = std::async(std::launch::async, [&] { return run({"install", "Aurora"}).outcome(); });
        while (!hold.exists("held") && first.wait_for(2ms) != std::future_status::ready)
            continue;
    }
    auto second = std::async(std::launch::async, [&] { return other({"install", "Aurora"}).outcome(); });
    const bool seen = testSupport::locksCanBeSeen();
    while (!(seen ? testSupport::someoneWaitsToLock(home("shared")) : catalog.server.requestCount(build) >= 2)
           && second.wait_for(2ms) != std::future_status::ready)
        continue;
    EXPECT_NE(second.wait_for(0ms), std::future_status::ready) << "the second run waits rather than failing";
    fs::remove(hold.file("held"));
    for (auto* result : {&first, &second})
        EXPECT_EQ(result->get(), Outcome(0, installing("VST3 1.0.0", "public", "shared"), ""));
    EXPECT_EQ(readFile(home("shared/Presets/a.preset")), "preset 1.0.0");
}

TEST_F(InstallCommands, FailedUpdatesLeaveTheOldPluginByteForByteAndNoTemporaryFile)
{
    const Files extra = {{"Presets/a.preset", "preset"}, {"Skins/b.skin", "skin"}};
    publish({CatalogServer::product("Aurora", "aurora")},
            {{"Aurora", "VST3", "1.0.0", Channel::Public, extra}, {"Aurora", "VST3", "1.1.0", Channel::Public, extra}});
    ASSERT_EQ(run({"install", "Aurora", "--version", "1.0.0"}).exitCode, 0);
    const std::string roms = data("Aurora/roms"), bundle = home(".vst3/Aurora.vst3");
    // error may hold wildcards; with fileSizeLimit the run may write no file beyond that size.
    const auto expectOldPluginKept = [&](const std::string& error, rlim_t fileSizeLimit = RLIM_INFINITY,
                                         const testSupport::EnvironmentChanges& closeFails = {}) {
        const auto before = describeTree(home(".vst3"));
        const std::string answer = inChild([&] {
            if (!testSupport::limitFileSize(fileSizeLimit))
                return std::string("no file size limit");
            const auto result = run({"install", "Aurora", "--version", "1.1.0"}, closeFails);
            return std::to_string(result.exitCode) + " " + result.err;
        });
        EXPECT_TRUE(juce::String(answer).matchesWildcard("1 " + error + "\n", false)) << answer;
        EXPECT_EQ(describeTree(home(".vst3")), before);
        EXPECT_EQ(namesIn(run.temporaryFolder()), Lines{});
        // The rom folder holds nothing but the copy of the ROM file kept before the unpacking.
        for (const std::string& name : fs::is_directory(roms) ? namesIn(roms) : Lines{})
            EXPECT_EQ(name, "sound.bin");
        EXPECT_EQ(record(), Lines{"Aurora VST3 1.0.0 " + home(".vst3/Aurora.vst3") + " 0 Aurora.vst3 Presets Skins"});
    };
    // ROM files stay in the bundle until the new one is in.
    const std::string rom = bundle + "/Contents/Resources/sound.bin";
    writeFile(rom, "rom");
    const std::string path = CatalogServer::publicFile(CatalogServer::build("Aurora", "VST3", "1.1.0"));
    catalog.server.cutOff(path, 64, 2);
    expectOldPluginKept("The download was cut off");

    // Damaged and hostile builds fail whole, naming the entry at fault; so does a full disk.
    const Files files = contentOf({"Aurora", "VST3", "1.1.0", Channel::Public, extra});
    const std::string so = files.front().first, lib = "Aurora.vst3/Contents/lib";
    const std::string dots = "Aurora.vst3/Contents/Resources/.../presets.dat";
    const auto plus = [&files](Files more) {
        more.insert(more.begin(), files.begin(), files.end());
        return more;
    };
    Files wrapped;
    for (const auto& [name, content] : files)
        wrapped.emplace_back("W/" + name, content);
    wrapped.emplace_back("W/Aurora.vst3/Contents/Resources/lib", "../../../..");
    // An archive whose directory gives two entries each other's checksums.
    std::string swapped = CatalogServer::zip(files);
    const size_t at = swapped.rfind(so) - 30, bt = swapped.rfind("Skins/b.skin") - 30;
    const std::string crc = swapped.substr(at, 4);
    swapped.replace(at, 4, swapped.substr(bt, 4)).replace(bt, 4, crc);
    const std::tuple<std::string, std::string, rlim_t> broken[] = {
        {damaged(CatalogServer::zip(files, 0), so),
         "The entry " + so + " is damaged: its bytes do not match its checksum.", RLIM_INFINITY},
        {damaged(CatalogServer::zip(files), so), "The entry " + so + " is damaged: *", RLIM_INFINITY},
        {damaged(CatalogServer::zip(files), "Skins/b.skin", true),
         "The entry Skins/b.skin is damaged: it unpacks to more than the 4 bytes it declares.", RLIM_INFINITY},
        {CatalogServer::zip(plus({{"Skins/big.skin", std::string(2000000, 's')}})),
         "The entry Skins/big.skin could not be written: File too large.", 1000000},
        {CatalogServer::zip(wrapped, 9, {"W/Aurora.vst3/Contents/Resources/lib"}),
         "The entry W/Aurora.vst3/Contents/Resources/lib is a link to ../../../.., which leads out of Aurora.vst3.",
         RLIM_INFINITY},
        // A harmless twin later in the archive does not vouch for the link before it.
        {CatalogServer::zip(plus({{lib, "/etc"}, {lib, "Resources"}}), 9, {lib}),
         "The entry " + lib + " is a link to /etc, which lies outside *", RLIM_INFINITY},
        {CatalogServer::zip(plus({{lib + "/", "Resources"}}), 9, {lib + "/"}),
         "The entry " + lib + "/ is marked both as a folder and as a link.", RLIM_INFINITY},
        // The framework's folder listing would skip the file, and the work folder could never go.
        {CatalogServer::zip(plus({{dots, "presets"}})),
         "The entry " + dots + " cannot be installed: a part of its name is made only of dots.", RLIM_INFINITY},
        {CatalogServer::zip(plus({{"../x", "x"}})), "Entry ../x is outside the target directory", RLIM_INFINITY},
        {CatalogServer::zip(plus({{".", "x"}})),
         "The entry . cannot be installed: it names the top of the archive, not a file.", RLIM_INFINITY},
        // A link that stays inside the unpacked folder is not written through either.
        {CatalogServer::zip(plus({{lib, "Resources"}, {lib + "/x", "x"}}), 9, {lib}),
         "Parent directory leads through symlink for target file: *", RLIM_INFINITY},
        {CatalogServer::zip(plus({{lib, std::string(PATH_MAX, 'a')}}), 9, {lib}),
         "The entry " + lib + " is a link to a target longer than the system allows.", RLIM_INFINITY},
        // Each entry is checked against its own record, not a neighbour's.
        {swapped, "The entry " + so + " is damaged: its bytes do not match its checksum.", RLIM_INFINITY},
    };
    for (const auto& [archive, error, fileSizeLimit] : broken)
    {
        catalog.serveFile(path, archive);
        expectOldPluginKept("Could not unpack into *.\n\n" + error, fileSizeLimit);
    }
    // A close that fails is a write that failed.
    catalog.serveFile(path, CatalogServer::zip(files));
    expectOldPluginKept("Could not unpack into *.\n\nThe entry Skins/b.skin could not be written: Input/output error.",
                        RLIM_INFINITY, {{"VYRPM_CLOSE_FAILS", "/Skins/b.skin"}});
    // More entries than the end of a classic directory can count: a zip64 packer writes 0xFFFF there.
    Files many = files;
    for (int i = 0; i < 65536; ++i)
        many.emplace_back("Aurora.vst3/Contents/Resources/many/" + std::to_string(i), "");
    std::string zip64 = CatalogServer::zip(many, 0);
    catalog.serveFile(path, zip64.replace(zip64.size() - 14, 4, "\xff\xff\xff\xff"));
    expectOldPluginKept("Could not unpack the download: it holds more than 65,535 entries or 4 GB (a zip64 archive), "
                        "which this program cannot read.");

    // A ROM file, or a file the user added, that cannot reach the rom folder must not go with the
    // old plug-in.
    catalog.serveFile(path, CatalogServer::zip(files));
    // On a full disk, or where its close fails, it is not kept short, and the original stays.
    writeFile(rom, std::string(2000000, 'r'));
    expectOldPluginKept("Could not keep " + rom + " in " + roms + ": File too large" + leftAsItWas, 1000000);
    expectOldPluginKept("Could not keep " + rom + " in " + roms + ": Input/output error" + leftAsItWas, RLIM_INFINITY,
                        {{"VYRPM_CLOSE_FAILS", "/roms/.vyr-copy-"}});
    fs::remove_all(roms);
    writeFile(roms, "");
    writeFile(rom, "rom");
    expectOldPluginKept("Could not make " + roms + " for " + rom + leftAsItWas);
    fs::remove(rom);
    writeFile(bundle + "/mine.fxp", "mine");
    expectOldPluginKept("Could not make " + roms + " for " + bundle + "/mine.fxp" + leftAsItWas);
}

// A standalone program has no file suffix, so a product "." names the program folder itself. The
// name's rules are the plain name's; each command checks it before anything else.
TEST_F(InstallCommands, ANameThatLeadsOutOfThePluginFoldersIsRefusedBeforeAnythingIsTouched)
{
    writeFile(home(".local/bin/tool"), "mine");
    // arguments, the name as the refusal shows it
    const std::pair<Lines, std::string> cases[] = {
        {{"uninstall", ".", "--format", "Standalone"}, "."},
        {{"install", "Aur\x1b]0;x\x07ora"}, "Aur]0;xora"},
    };
    for (const auto& [arguments, shown] : cases)
        EXPECT_EQ(run(arguments).outcome(),
                  Outcome(1, "", "Could not " + arguments[0] + " \"" + shown +
                                     "\": a product name is not \".\" or \"..\", does not begin with \"~\" and holds "
                                     "no \"/\", \"\\\" or control character. Nothing was changed.\n"));
    EXPECT_EQ(readFile(home(".local/bin/tool")), "mine");
    EXPECT_EQ(catalog.requestedPaths(), Lines{});
}

// A record that could not be read is kept aside; one that could not be saved fails the run, while
// the plug-in is installed, or removed, all the same.
TEST_F(InstallCommands, ARecordThatCannotBeReadIsKeptAndOneThatCannotBeSavedFailsTheRun)
{
    publish({CatalogServer::product("Aurora", "aurora")}, {{"Aurora", "CLAP", "1.0.0"}});
    const std::string file = run.settingsFile("installed.json"), damaged = R"([{"product": "Vireo", "format")";
    writeFile(file, damaged);
    const auto unread = [&file](const std::string& why) {
        return "warning: could not read " + file + " (" + why + "); going on without the install record it holds\n";
    };
    EXPECT_EQ(run({"install", "Aurora"}).outcome(),
              Outcome(0, installing("CLAP 1.0.0", "public", ".clap"),
                      unread("not JSON at line 1") + "Could not read " + file + "; it is kept as " + file +
                          ".damaged\n"));
    EXPECT_EQ(readFile(file + ".damaged"), damaged);
    EXPECT_EQ(record(), Lines{"Aurora CLAP 1.0.0 " + home(".clap/Aurora.clap") + " 0 Aurora.clap"});

    fs::remove(file);
    fs::create_directory(file);
    for (const auto& [command, out] : {std::pair{"install", installing("CLAP 1.0.0", "public", ".clap")},
                                       std::pair{"uninstall", std::string("Aurora CLAP removed\n")}})
        EXPECT_EQ(run({command, "Aurora"}).outcome(),
                  Outcome(1, out, unread("not a regular file") + "Could not save " + file + ": Is a directory\n"));
    EXPECT_FALSE(fs::exists(home(".clap/Aurora.clap")));
}

// A FIFO inside a plug-in, named like a ROM file or like a preset of the user's, is no file to keep:
// it goes with the plug-in, the log names it, and neither an update nor an uninstall waits on it.
TEST_F(InstallCommands, AFifoInsideAPluginGoesWithItAndHoldsNoRunUp)
{
    publish({CatalogServer::product("Aurora", "aurora")}, {{"Aurora", "VST3", "1.0.0"}, {"Aurora", "VST3", "1.1.0"}});
    ASSERT_EQ(run({"install", "Aurora", "--version", "1.0.0"}).exitCode, 0);
    const std::string bundle = home(".vst3/Aurora.vst3"), bank = bundle + "/Contents/Resources/bank.bin";
    for (const std::string command : {"install", "uninstall"})
    {
        writeFile(bundle + "/Contents/Resources/rom.bin", "rom");
        for (const std::string& fifo : {bank, bundle + "/my.fxp"})
            ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0) << fifo;
        EXPECT_EQ(run({command, "Aurora"}).exitCode, 0) << command;
    }
    EXPECT_FALSE(fs::exists(bundle));
    EXPECT_EQ(namesIn(data("Aurora/roms")), Lines{"rom.bin"});
    const Lines log = httpTests::logLines(run.settingsFile("log.txt"));
    const std::string left = "Left " + bank + " to go with " + bundle + ": it is not a regular file";
    // The update looks at it as a ROM file and as a file of the user's, the uninstall as a ROM file.
    EXPECT_EQ(std::count(log.begin(), log.end(), left), 3);
}

// A link in the data folder that leads back into the plug-in that is to go holds no copy of a ROM
// file: the ROM file is kept outside the plug-in, or the plug-in stays whole. A link that leads
// elsewhere is followed as ever.
TEST_F(InstallCommands, ALinkInTheDataFolderThatLeadsBackIntoThePluginKeepsNoRomFileThere)
{
    publish({CatalogServer::product("Aurora", "aurora")}, {{"Aurora", "VST3", "1.0.0"}});
    const std::string bundle = home(".vst3/Aurora.vst3"), resources = bundle + "/Contents/Resources";
    const std::string rom = resources + "/big.bin", product = data("Aurora"), roms = data("Aurora/roms");
    // the link's name, where it is, where it leads, the ROM file's copy after the uninstall (none:
    // the uninstall fails and leaves the plug-in whole)
    const std::tuple<std::string, std::string, std::string, std::string> rows[] = {
        {"the ROM file's own name", roms + "/big.bin", rom, roms + "/big(2).bin"},
        {"the rom folder", roms, resources, ""},
        {"the product's data folder", product, resources, ""},
        {"a rom folder on another disk", roms, home("other disk/roms"), home("other disk/roms/big.bin")},
    };
    for (const auto& [name, link, target, keptAs] : rows)
    {
        SCOPED_TRACE(name);
        for (const std::string& folder : {product, home(".vst3"), home("other disk")})
            fs::remove_all(folder);
        ASSERT_EQ(run({"install", "Aurora"}).exitCode, 0);
        writeFile(rom, "rom");
        fs::remove_all(link);
        fs::create_directories(home("other disk/roms"));
        makeLink(target, link);
        const auto plugin = describeTree(bundle);
        const Lines recorded = record();

        const auto result = run({"uninstall", "Aurora"});
        EXPECT_EQ(namesIn(run.temporaryFolder()), Lines{});
        if (!keptAs.empty())
        {
            EXPECT_EQ(result.exitCode, 0) << result.err;
            EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(keptAs)) && readFile(keptAs) == "rom");
            continue;
        }
        EXPECT_EQ(result.outcome(), Outcome(1, "", "Could not keep " + rom + " in " + roms +
                                                       ": that folder leads by a link into " + bundle +
                                                       ", which is to go" + notRemoved + "\n"));
        EXPECT_EQ(describeTree(bundle), plugin);
        EXPECT_EQ(record(), recorded);
    }
}

// An entry named with backslashes lands at the path they name and keeps its mode. A text file
// beside the plug-in is not installed, and takes from the plug-in folder only a copy of itself.
TEST_F(InstallCommands, ABackslashedEntryKeepsItsModeAndAReadMeRemovesOnlyACopyOfItself)
{
    publish({CatalogServer::product("Aurora", "aurora")}, {{"Aurora", "VST3", "1.0.0"}});
    const std::string script = "Aurora.vst3\\Contents\\Resources\\run.sh";
    Files files = contentOf({"Aurora", "VST3", "1.0.0"});
    files.insert(files.end(), {{script, "#!/bin/sh\n"}, {"readme.txt", "read me"}, {"changes.txt", "changes"}});
    catalog.serveFile(CatalogServer::publicFile(CatalogServer::build("Aurora", "VST3", "1.0.0")),
                      CatalogServer::zip(files, 9, {}, {script}));
    writeFile(home(".vst3/readme.txt"), "another maker's");
    writeFile(home(".vst3/changes.txt"), "changes");

    EXPECT_EQ(run({"install", "Aurora"}).outcome(), Outcome(0, installing("VST3 1.0.0", "public", ".vst3"), ""));
    const std::string installed = home(".vst3/Aurora.vst3/Contents/Resources/run.sh");
    EXPECT_TRUE(readFile(installed) == "#!/bin/sh\n" && isExecutable(installed));
    EXPECT_EQ(readFile(home(".vst3/readme.txt")), "another maker's");
    EXPECT_FALSE(fs::exists(home(".vst3/changes.txt")));
}

// Every command that changes what is stored or installed waits while another run holds the run
// lock of its settings folder, and says so.
TEST_F(InstallCommands, EachChangingCommandWaitsWhileAnotherRunHoldsTheRunLock)
{
    if (!testSupport::locksCanBeSeen())
        GTEST_SKIP() << "/proc/locks is not there to see that a run waits";
    publish({CatalogServer::product("Aurora", "aurora")}, {{"Aurora", "CLAP", "1.0.0"}});
    const std::string lockFile = run.settingsFile("run.lock");
    writeFile(lockFile, "");
    const Lines commands[] = {{"install", "Aurora"},     {"uninstall", "Aurora"},        {"login", "internal"},
                              {"logout", "internal"},    {"teamlogin", "on"},            {"paths", "VST3", home("p")}};
    for (const auto& arguments : commands)
    {
        SCOPED_TRACE(arguments.front());
        const int held = ::open(lockFile.c_str(), O_RDWR | O_CLOEXEC);
        ASSERT_EQ(::flock(held, LOCK_EX), 0);
        auto waiting = std::async(std::launch::async, [&] { return run(arguments); });
        while (!testSupport::someoneWaitsToLock(lockFile) && waiting.wait_for(2ms) != std::future_status::ready)
            continue;
        EXPECT_NE(waiting.wait_for(0ms), std::future_status::ready) << "the run did not wait";
        ::close(held);
        EXPECT_EQ(waiting.get().err.rfind("Waiting for another run of vyrpm to finish\n", 0), 0u);
    }
}
