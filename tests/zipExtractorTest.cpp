#include "manager/install/zipExtractor.h"

#include "installFixture.h"
#include "support/childProcess.h"

#include <csignal>

#include <sys/resource.h>

using namespace pluginManager;
using namespace installTests;

namespace
{
const std::string waysOutText = "Start the plugin manager as administrator, or pick a location you own in Preferences.";
const std::string noElevation = "This system has no way of asking for administrator rights.";

class ZipExtractorTest : public InstallFixture
{
protected:
    std::string full(const std::string& path) const { return juce::File(path).getFullPathName().toStdString(); }

    std::string message;
};
}

TEST_F(ZipExtractorTest, WriteAccessTellsUnusableFromWritable)
{
    root.write("file", "x");
    root.write("stale/.vyr-write-test", "left by an earlier run");
    struct Case
    {
        std::string location;
        int answer;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"", WriteAccess::Unusable, "No install location. Set one in Preferences."},
        {root.file("file"), WriteAccess::Unusable, root.file("file") + " is a file, not a folder."},
        {root.file("new/deep/folder"), WriteAccess::Writable, "untouched"},
        {root.file("stale"), WriteAccess::Writable, "untouched"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.location);
        message = "untouched";
        EXPECT_EQ(ZipExtractor::checkWriteAccess(c.location, message), c.answer);
        EXPECT_EQ(message, c.message);
        if (c.answer == WriteAccess::Writable)
        {
            EXPECT_TRUE(fs::is_directory(c.location));
            EXPECT_FALSE(fs::exists(c.location + "/.vyr-write-test"));
        }
    }
    EXPECT_TRUE(fs::is_regular_file(root.file("file")));
}

TEST_F(ZipExtractorTest, FoldersTheUserCannotWriteNeedRights)
{
    root.write("system/owned", "x");
    openTo(root.path(), false);
    openTo(root.file("system"), false);
    const auto location = root.file("system");
    const int code = testSupport::runInChild([&] {
        if (!testSupport::dropRootPrivileges())
            return 10;
        std::string written;
        if (ZipExtractor::checkWriteAccess(location, written) != WriteAccess::NeedsRights
            || written != "Cannot write to " + location + ".\n\nThis folder usually belongs to the system. " + waysOutText)
            return 1;
        if (ZipExtractor::checkWriteAccess(location + "/sub", written) != WriteAccess::NeedsRights
            || written != "Cannot create " + location + "/sub.\n\n" + waysOutText)
            return 2;
        return 0;
    });
    EXPECT_EQ(code, 0) << "1: read-only folder, 2: folder that cannot be created, 10: could not drop root";
}

TEST_F(ZipExtractorTest, ArchivesThatCannotBeReadLeaveTheDestinationAlone)
{
    root.write("empty.zip", "");
    root.write("text.zip", "this is no zip archive");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {root.file("missing.zip"), "The downloaded archive is missing."},
        {root.file("empty.zip"), "The downloaded archive is empty or damaged."},
        {root.file("text.zip"), "The downloaded archive is empty or damaged."},
    };
    for (const auto& [archive, expected] : cases)
    {
        SCOPED_TRACE(archive);
        EXPECT_FALSE(ZipExtractor::extract(archive, root.file("out"), message));
        EXPECT_EQ(message, expected);
        EXPECT_FALSE(fs::exists(root.file("out")));
    }
    // An install of a damaged download leaves no work folder behind.
    std::vector<std::string> items{"previous"};
    EXPECT_FALSE(ZipExtractor::install(root.file("text.zip"), root.file("plugins"), "", "Foo", false, items, message,
                                       nullptr));
    EXPECT_EQ(message, "The downloaded archive is empty or damaged.");
    EXPECT_EQ(items, std::vector<std::string>{"previous"});
    EXPECT_TRUE(leftInTemp().empty());
}

TEST_F(ZipExtractorTest, ReportsProgressAfterEachEntry)
{
    for (const auto* name : {"a", "b", "c/d", "c/e"})
        root.write(std::string("src/") + name, name);
    const auto archive = zipWithProgram(root.file("src"), {"a", "b", "c/d", "c/e"});
    std::vector<float> reports;
    ASSERT_TRUE(ZipExtractor::extract(archive, root.file("out"), message, [&](float f) { reports.push_back(f); }));
    EXPECT_EQ(reports, (std::vector<float>{0.25f, 0.5f, 0.75f, 1.0f}));
    EXPECT_EQ(root.read("out/c/e"), "c/e");
}

TEST_F(ZipExtractorTest, ExecuteBitsComeFromTheEntriesOnlyWhenEverythingUnpacked)
{
    root.write("src/Foo/run", "#!/bin/sh\n");
    root.write("src/Foo/data", "plain");
    fs::permissions(root.file("src/Foo/run"), fs::perms(0755));
    fs::permissions(root.file("src/Foo/data"), fs::perms(0644));
    const auto good = zipWithProgram(root.file("src"), {"Foo"}, "good.zip");
    // A later entry that is refused: nothing may be made executable then.
    makeLink("/etc", root.file("src/Foo/zz-escape"));
    const auto bad = zipWithProgram(root.file("src"), {"Foo/run", "Foo/zz-escape"}, "bad.zip");

    ASSERT_TRUE(ZipExtractor::extract(good, root.file("good"), message)) << message;
    EXPECT_TRUE(isExecutable(root.file("good/Foo/run")));
    EXPECT_FALSE(isExecutable(root.file("good/Foo/data")));

    EXPECT_FALSE(ZipExtractor::extract(bad, root.file("bad"), message));
    ASSERT_TRUE(fs::exists(root.file("bad/Foo/run")));
    EXPECT_FALSE(isExecutable(root.file("bad/Foo/run")));
}

TEST_F(ZipExtractorTest, LinksLeadingOutOfTheArchiveAreRefused)
{
    struct Case
    {
        std::string name;
        std::vector<std::pair<std::string, std::string>> links; // link path below the bundle, target
        std::string refused;                                    // empty: unpacks
    };
    const std::vector<Case> cases = {
        {"absolute", {{"Foo/secrets", "/etc"}}, "Foo/secrets"},
        {"climbing out", {{"Foo/Contents/up", "../../.."}}, "Foo/Contents/up"},
        // Each link alone stays inside; through the first, the second climbs out.
        {"chained", {{"Foo/here", "."}, {"Foo/sneak", "here/../.."}}, "Foo/sneak"},
        {"loop", {{"Foo/self", "self"}}, "Foo/self"},
        {"inside", {{"Foo/Contents/lib.so", "../Resources/lib.so.1"}, {"Foo/Current", "Contents"}}, ""},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        const testSupport::TempFolder src;
        src.write("Foo/Resources/lib.so.1", "library");
        for (const auto& [link, target] : c.links)
            makeLink(target, src.file(link));
        const auto archive = zipWithProgram(src.path(), {"Foo"}, c.name + ".zip");
        const auto out = root.file(c.name);

        const bool ok = ZipExtractor::extract(archive, out, message);
        if (c.refused.empty())
        {
            ASSERT_TRUE(ok) << message;
            EXPECT_EQ(fs::read_symlink(out + "/Foo/Contents/lib.so"), "../Resources/lib.so.1");
            EXPECT_EQ(testSupport::readFile(out + "/Foo/Current/lib.so"), "library");
            continue;
        }
        EXPECT_FALSE(ok);
        EXPECT_EQ(message.rfind("Could not unpack into " + out + ".\n\nThe entry " + c.refused + " ", 0), 0u) << message;
        EXPECT_FALSE(fs::is_symlink(out + "/" + c.refused));
    }
}

TEST_F(ZipExtractorTest, PluginRootFollowsTheThreeRules)
{
    struct Case
    {
        std::string name;
        std::vector<std::string> files; // below the unpacked folder
        std::string fileName;
        std::string root; // relative to the unpacked folder
    };
    const std::vector<Case> cases = {
        {"named at the top", {"Foo.vst3/x", "Other/y"}, "Foo.vst3", ""},
        {"named deeper", {"Foo-linux/Foo.vst3/Contents/x"}, "Foo.vst3", "Foo-linux"},
        {"bundle stops the walk", {"Foo-linux/Foo.vst3/Contents/x"}, "", "Foo-linux"},
        {"file stops the walk", {"a/b/readme"}, "", "a/b"},
        {"two folders stop the walk", {"a/b/x", "a/c/y"}, "", "a"},
        {"hidden file stops the walk", {"a/b/.hidden"}, "", "a/b"},
        {"unknown name falls back to the walk", {"a/b/readme"}, "Bar.clap", "a/b"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        const testSupport::TempFolder unpacked;
        for (const auto& file : c.files)
            unpacked.write(file, "x");
        const juce::File folder(unpacked.path());
        const auto expected = c.root.empty() ? folder : folder.getChildFile(c.root);
        EXPECT_EQ(ZipExtractor::pluginRoot(folder, c.fileName).getFullPathName(), expected.getFullPathName());
    }
}

TEST_F(ZipExtractorTest, CopyFailsBeforeTouchingAnythingWhenThereIsNothingToCopy)
{
    EXPECT_FALSE(ZipExtractor::copyInto(root.file("none"), root.file("dest"), message));
    EXPECT_EQ(message, "There is nothing to install in " + root.file("none") + ".");
    EXPECT_FALSE(fs::exists(root.file("dest")));

    fs::create_directories(root.file("empty"));
    EXPECT_TRUE(ZipExtractor::copyInto(root.file("empty"), root.file("dest"), message));
    EXPECT_TRUE(fs::is_directory(root.file("dest")));
}

TEST_F(ZipExtractorTest, CopyReplacesThroughBackupsAndLeavesNone)
{
    root.write("new/Foo.vst3/Contents/plugin.so", "new");
    root.write("new/tool", "new tool");
    fs::permissions(root.file("new/tool"), fs::perms(0755));
    root.write("dest/Foo.vst3/Contents/old-only", "old");
    root.write("dest/Foo.vst3.vyr-replaced/from-an-earlier-run", "leftover");

    ASSERT_TRUE(ZipExtractor::copyInto(root.file("new"), root.file("dest"), message)) << message;
    EXPECT_EQ(root.read("dest/Foo.vst3/Contents/plugin.so"), "new");
    EXPECT_FALSE(root.exists("dest/Foo.vst3/Contents/old-only"));
    EXPECT_TRUE(isExecutable(root.file("dest/tool")));
    // The earlier run's leftover is not ours; the backup of this run (numbered 1) is gone.
    EXPECT_EQ(root.read("dest/Foo.vst3.vyr-replaced/from-an-earlier-run"), "leftover");
    EXPECT_FALSE(root.exists("dest/Foo.vst3.vyr-replaced1"));
}

TEST_F(ZipExtractorTest, CopyWithoutAFreeBackupNameRestoresEverything)
{
    root.write("new/A.vst3/x", "new a");
    root.write("new/B.vst3/x", "new b");
    root.write("dest/A.vst3/x", "old a");
    root.write("dest/B.vst3/x", "old b");
    root.write("dest/B.vst3.vyr-replaced/x", "taken");
    for (int number = 1; number <= 99; ++number)
        root.write("dest/B.vst3.vyr-replaced" + std::to_string(number) + "/x", "taken");

    EXPECT_FALSE(ZipExtractor::copyInto(root.file("new"), root.file("dest"), message));
    EXPECT_EQ(message, "Could not move " + root.file("dest/B.vst3") + " out of the way.");
    EXPECT_EQ(root.read("dest/A.vst3/x"), "old a");
    EXPECT_EQ(root.read("dest/B.vst3/x"), "old b");
    EXPECT_FALSE(root.exists("dest/A.vst3.vyr-replaced"));
    EXPECT_EQ(std::distance(fs::directory_iterator(root.file("dest")), fs::directory_iterator()), 102);
}

TEST_F(ZipExtractorTest, CopyThatFailsHalfWayPutsBothOldItemsBack)
{
    root.write("new/A.vst3/x", "new a");
    root.write("new/B.vst3/x", std::string(2000000, 'b'));
    root.write("dest/A.vst3/x", "old a");
    root.write("dest/B.vst3/x", "old b");
    const auto source = root.file("new");
    const auto destination = root.file("dest");
    const int code = testSupport::runInChild([&] {
        // Writing the large item now fails, root or not.
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{1000000, 1000000};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
            return 10;
        std::string written;
        if (ZipExtractor::copyInto(source, destination, written))
            return 1;
        return written == "Could not write " + destination + "/B.vst3." ? 0 : 2;
    });
    EXPECT_EQ(code, 0) << "1: reported success, 2: another message, 10: no file size limit";
    EXPECT_EQ(root.read("dest/A.vst3/x"), "old a");
    EXPECT_EQ(root.read("dest/B.vst3/x"), "old b");
    EXPECT_EQ(std::distance(fs::directory_iterator(destination), fs::directory_iterator()), 2);
}

TEST_F(ZipExtractorTest, CopyStopsBeforeMovingAnythingWhenAnItemCannotBeReplaced)
{
    root.write("new/A.vst3/x", "new a");
    root.write("new/B.vst3/locked", "new b");
    root.write("dest/A.vst3/x", "old a");
    root.write("dest/B.vst3/locked", "old b");
    openTo(root.path(), false);
    openTo(root.file("dest"), true);
    openTo(root.file("dest/A.vst3"), true);
    openTo(root.file("dest/B.vst3"), true);
    fs::permissions(root.file("dest/A.vst3/x"), fs::perms(0666));
    const auto source = root.file("new");
    const auto destination = root.file("dest");
    const int code = testSupport::runInChild([&] {
        if (!testSupport::dropRootPrivileges())
            return 10;
        std::string written;
        if (ZipExtractor::copyInto(source, destination, written))
            return 1;
        return written == "Could not replace " + destination + "/B.vst3/locked.\n\nIt may be open in a host, or "
                              "belong to a user with more rights than this one."
                   ? 0
                   : 2;
    });
    EXPECT_EQ(code, 0) << "1: reported success, 2: another message, 10: could not drop root";
    EXPECT_EQ(root.read("dest/A.vst3/x"), "old a");
    EXPECT_EQ(std::distance(fs::directory_iterator(destination), fs::directory_iterator()), 2);
}

TEST_F(ZipExtractorTest, InstallKeepsUserFilesAndDropsTextFiles)
{
    root.write("src/Foo-linux/Foo.vst3/Contents/plugin.so", "new");
    root.write("src/Foo-linux/Foo.vst3/presets/factory.fxp", "factory");
    root.write("src/Foo-linux/readme.txt", "read me");
    const auto archive = zipWithProgram(root.file("src"), {"Foo-linux"});
    const auto location = root.file("plugins");
    root.write("plugins/readme.txt", "earlier read-me");
    root.write("plugins/Foo.vst3/presets/factory.fxp", "old factory");
    root.write("plugins/Foo.vst3/presets/mine.fxp", "mine");
    root.write("plugins/Foo.vst3/presets/deeper/same.fxp", "same");
    root.write("plugins/Foo.vst3/presets/deeper/clash.fxp", "differs");
    root.write("plugins/Foo.vst3/Contents/_CodeSignature/CodeResources", "sig");
    root.write("plugins/Foo.vst3/.DS_Store", "finder");
    const auto roms = romFolder("Foo");
    testSupport::writeFile(roms + "same.fxp", "same");
    testSupport::writeFile(roms + "clash.fxp", "already there");

    std::vector<std::string> items{"stale"};
    ASSERT_TRUE(ZipExtractor::install(archive, location, "Foo.vst3", "Foo", false, items, message, nullptr)) << message;

    EXPECT_EQ(items, std::vector<std::string>{"Foo.vst3"});
    EXPECT_FALSE(root.exists("plugins/readme.txt"));
    EXPECT_FALSE(root.exists("plugins/Foo.vst3/presets/mine.fxp"));
    EXPECT_EQ(testSupport::readFile(roms + "mine.fxp"), "mine");
    EXPECT_EQ(testSupport::readFile(roms + "clash(2).fxp"), "differs");
    EXPECT_EQ(describeTree(roms).size(), 4u) << "factory, signature and Finder files are not the user's";
    const auto log = logMessages();
    const auto kept = std::count_if(log.begin(), log.end(), [](const auto& line) { return line.rfind("Kept ", 0) == 0; });
    EXPECT_EQ(kept, 2) << "identical bytes are not copied again";
    EXPECT_TRUE(leftInTemp().empty());
}

TEST_F(ZipExtractorTest, InstallNeedingRightsHandsItsWorkFolderToAPendingCopyOrFails)
{
    root.write("src/Foo.vst3/x", "new");
    const auto archive = zipWithProgram(root.file("src"), {"Foo.vst3"});
    const auto location = root.file("plugins");
    std::vector<std::string> items;

    EXPECT_FALSE(ZipExtractor::install(archive, location, "", "Foo", true, items, message, nullptr));
    EXPECT_EQ(message, noElevation);
    EXPECT_TRUE(leftInTemp().empty());

    ZipExtractor::PendingCopy pending;
    ASSERT_TRUE(ZipExtractor::install(archive, location, "", "Foo", true, items, message, &pending));
    EXPECT_EQ(leftInTemp(), std::vector<std::string>{juce::File(pending.workFolder).getFileName().toStdString()});
    EXPECT_EQ(pending.source.rfind(pending.workFolder, 0), 0u);
    EXPECT_EQ(testSupport::readFile(pending.source + "/Foo.vst3/x"), "new");
    EXPECT_EQ(pending.destination, location);
    EXPECT_FALSE(fs::exists(location + "/Foo.vst3"));
}
