#include "manager/install/changeSteps.h"
#include "manager/install/transactionalCopy.h"
#include "manager/install/zipExtractor.h"

#include "installFixture.h"
#include "support/catalogServer.h"

using namespace pluginManager;
using namespace installTests;
using ZipExtractorTest = InstallFixture;

TEST_F(ZipExtractorTest, ExecuteBitsComeFromTheEntriesOnlyWhenEverythingUnpacked)
{
    write({{"src/Foo/run", "#!/bin/sh\n"}, {"src/Foo/data", "plain"}});
    fs::permissions(root.file("src/Foo/run"), fs::perms(0755));
    fs::permissions(root.file("src/Foo/data"), fs::perms(0644));
    const auto good = zipWithProgram(root.file("src"), {"Foo"}, "good.zip");
    makeLink("/etc", root.file("src/Foo/zz-escape"));
    const auto bad = zipWithProgram(root.file("src"), {"Foo/run", "Foo/zz-escape"}, "bad.zip");
    std::vector<float> reports;

    ASSERT_TRUE(ZipExtractor::extract(good, root.file("good"), message, [&](float f) { reports.push_back(f); }));
    EXPECT_TRUE(isExecutable(root.file("good/Foo/run")) && !isExecutable(root.file("good/Foo/data")));
    EXPECT_EQ(reports.size(), 3u) << "one report per entry, the folder's included";
    EXPECT_EQ(reports.back(), 1.0f);

    EXPECT_FALSE(ZipExtractor::extract(bad, root.file("bad"), message));
    ASSERT_TRUE(fs::exists(root.file("bad/Foo/run")));
    EXPECT_FALSE(isExecutable(root.file("bad/Foo/run"))) << "a refused entry later in the archive";
}

// What packers other than the build server's write: per-entry comments, zip64 records, the
// archive's top folder as an entry "./".
TEST_F(ZipExtractorTest, ArchivesOfOtherPackersUnpackOrAreRefusedForWhatTheyAre)
{
    write({{"src/Foo/x", "x"}, {"src/Foo/y", "y"}});
    const auto packed = [&](const std::string& options, const std::string& name) {
        const auto result = testSupport::runProcess(
            "/bin/sh", {"-c", "printf 'one\\ntwo\\nthree\\n' | zip -q " + options + " ../" + name + " Foo/x Foo/y"},
            {{}, root.file("src")});
        EXPECT_EQ(result.exitCode, 0) << result.err;
        return root.file(name);
    };
    root.write("top.zip", testSupport::CatalogServer::zip({{"./", ""}, {"./Foo/x", "x"}, {"Foo/y", "y"}}));
    // the archive, the message ("" when it unpacks)
    const std::pair<std::string, std::string> rows[] = {
        {packed("-c", "comments.zip"), ""},
        {packed("-fz", "zip64.zip"), "Could not unpack the download: it holds more than 65,535 entries or 4 GB (a "
                                     "zip64 archive), which this program cannot read."},
        {root.file("top.zip"), ""},
    };
    for (const auto& [archive, refusal] : rows)
    {
        const testSupport::TempFolder into;
        message.clear();
        EXPECT_EQ(ZipExtractor::extract(archive, into.path(), message), refusal.empty()) << archive;
        EXPECT_EQ(message, refusal) << archive;
        EXPECT_EQ(into.read("Foo/x") + into.read("Foo/y"), refusal.empty() ? "xy" : "") << archive;
    }
}

TEST_F(ZipExtractorTest, PluginRootFollowsTheThreeRules)
{
    // files below the unpacked folder, the plug-in's file name, the root found (relative)
    const std::tuple<Lines, std::string, std::string> cases[] = {
        {{"Foo.vst3/x", "Other/y"}, "Foo.vst3", ""},
        {{"Foo-linux/Foo.vst3/Contents/x"}, "Foo.vst3", "Foo-linux"},
        {{"Foo-linux/Foo.vst3/Contents/x"}, "", "Foo-linux"}, // a bundle stops the walk
        {{"a/b/readme"}, "", "a/b"},                          // so does a file
        {{"a/b/x", "a/c/y"}, "", "a"},                        // and two folders
        {{"a/b/.hidden"}, "", "a/b"},
        {{"a/b/readme"}, "Bar.clap", "a/b"}, // an unknown name falls back to the walk
    };
    for (const auto& [files, fileName, expected] : cases)
    {
        const testSupport::TempFolder unpacked;
        for (const auto& file : files)
            unpacked.write(file, "x");
        const juce::File folder(unpacked.path());
        EXPECT_EQ(ZipExtractor::pluginRoot(folder, fileName), expected.empty() ? folder : folder.getChildFile(expected))
            << files.front() << " " << fileName;
    }
}

TEST_F(ZipExtractorTest, CopyReplacesThroughNumberedBackupsAndPutsEverythingBackWhenNoneIsFree)
{
    write({{"new/A.vst3/x", "new a"}, {"new/B.vst3/x", "new b"}, {"dest/A.vst3/x", "old a"}, {"dest/B.vst3/x", "old b"},
           {"new/tool", "tool"}, {"dest/B.vst3/old-only", "old"}, {"dest/B.vst3.vyr-replaced/x", "earlier run"}});
    fs::permissions(root.file("new/tool"), fs::perms(0755));
    for (int number = 1; number < 99; ++number)
        root.write("dest/B.vst3.vyr-replaced" + std::to_string(number) + "/x", "earlier run");

    ASSERT_TRUE(ZipExtractor::copyInto(root.file("new"), root.file("dest"), message)) << message;
    EXPECT_EQ(root.read("dest/B.vst3/x") + root.read("dest/B.vst3.vyr-replaced/x"), "new bearlier run");
    EXPECT_TRUE(!root.exists("dest/B.vst3/old-only") && isExecutable(root.file("dest/tool")));
    EXPECT_EQ(namesIn(root.file("dest")).size(), 102u) << "this run's backups are gone, the earlier ones are not ours";

    write({{"dest/B.vst3.vyr-replaced99/x", "earlier run"}, {"new/A.vst3/x", "newer a"}});
    EXPECT_FALSE(ZipExtractor::copyInto(root.file("new"), root.file("dest"), message));
    EXPECT_EQ(message, "Could not move " + root.file("dest/B.vst3") + " out of the way.");
    EXPECT_EQ(root.read("dest/A.vst3/x") + root.read("dest/B.vst3/x"), "new anew b");
    EXPECT_EQ(namesIn(root.file("dest")).size(), 103u);

    // A single-file item with no backup name free is not swapped onto its own backup.
    write({{"single/C.clap", "new c"}, {"plugins/C.clap", "old c"}, {"plugins/C.clap.vyr-replaced", ""}});
    for (int number = 1; number <= 99; ++number)
        root.write("plugins/C.clap.vyr-replaced" + std::to_string(number), "");
    EXPECT_FALSE(ZipExtractor::copyInto(root.file("single"), root.file("plugins"), message));
    EXPECT_EQ(root.read("plugins/C.clap"), "old c");
}

// A file size limit, and file permissions for "nobody", bind root too.
TEST_F(ZipExtractorTest, CopyThatFailsHalfWayOrCannotReplaceAnItemLeavesTheOldItems)
{
    write({{"new/A.vst3/x", "new a"}, {"new/B.vst3/x", std::string(2000000, 'b')}, {"dest/A.vst3/x", "old a"},
           {"dest/B.vst3/x", "old b"}});
    const auto destination = root.file("dest");
    const auto copy = [&] {
        return ZipExtractor::copyInto(root.file("new"), destination, message) ? "copied" : message;
    };
    EXPECT_EQ(inChild([&] { return testSupport::limitFileSize(1000000) ? copy() : "no file size limit"; }),
              "Could not write " + destination + "/B.vst3.");
    // A staged copy that another program takes from is not swapped in.
    ChangeSteps::onStep = [&] { fs::remove(destination + "/B.vst3.vyr-staging/x"); };
    EXPECT_EQ(copy(), "Could not install " + destination + "/B.vst3: the copy made beside it was changed or removed by "
                      "another program while it was being made.\n\nThe installed plug-in was left as it was.");
    // Once one new item is in, the next cannot follow: the one that is in goes again.
    write({{"newer/C.clap", "c"}, {"newer/D.clap", "d"}});
    ChangeSteps::onStep = [&] {
        if (root.exists("dest/C.clap") || root.exists("dest/D.clap"))
            for (const auto* staged : {"/C.clap.vyr-staging", "/D.clap.vyr-staging"})
                fs::remove(destination + staged);
    };
    EXPECT_FALSE(ZipExtractor::copyInto(root.file("newer"), destination, message));
    ChangeSteps::onStep = nullptr;

    openTo(root.path(), false);
    for (const auto* folder : {"dest", "dest/A.vst3", "dest/B.vst3"})
        openTo(root.file(folder), true);
    fs::permissions(root.file("dest/A.vst3/x"), fs::perms(0666));
    EXPECT_EQ(asNobody(copy), "Could not replace " + destination + "/B.vst3/x.\n\nIt may be open in a host, or belong "
                              "to a user with more rights than this one.");
    EXPECT_EQ(root.read("dest/A.vst3/x") + root.read("dest/B.vst3/x"), "old aold b");
    EXPECT_EQ(namesIn(destination).size(), 2u);
}

// Where the file system cannot swap two names in one step, a copy killed between its two renames
// leaves the item missing and its old version at its backup name.
TEST_F(ZipExtractorTest, LeftoversOfAKilledCopyGoAndAMissingItemComesBackFromItsBackup)
{
    write({{"dest/A.vst3/x", "new a"}, {"dest/A.vst3.vyr-replaced/x", "old a"}, {"dest/A.vst3.vyr-staging/x", "half"},
           {"dest/B.clap.vyr-replaced7", "old b"}, {"dest/C.lv2.vyr-staging/x", "half"},
           {"dest/notes.vyr-replaced-draft", "the user's"}, {"dest/D.so.vyr-replaced100", "no backup of ours"},
           {"dest/E.vst3.vyr-replaced99/x", "old e"}, {"dest/F.so.vyr-replaced01", "no backup of ours"},
           {"dest/.vyr-copy-0123456789abcdef", "half of a file item's copy"}});
    ZipExtractor::clearInterruptedCopies(root.file("dest"));
    auto names = namesIn(root.file("dest"));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (Lines{"A.vst3", "B.clap", "D.so.vyr-replaced100", "E.vst3", "F.so.vyr-replaced01",
                            "notes.vyr-replaced-draft"}));
    EXPECT_EQ(root.read("dest/A.vst3/x") + root.read("dest/B.clap") + root.read("dest/E.vst3/x"), "new aold bold e");
}

TEST_F(ZipExtractorTest, InstallKeepsUserFilesDropsTextFilesAndLeavesACopyNeedingRightsToAnElevatedRun)
{
    write({{"src/Foo-linux/Foo.vst3/Contents/plugin.so", "new"}, {"src/Foo-linux/readme.txt", "read me"},
           {"src/Foo-linux/Foo.vst3/presets/factory.fxp", "factory"}, {"src/Foo-linux/Extra.vst3/x", "new"}});
    const auto archive = zipWithProgram(root.file("src"), {"Foo-linux"});
    write({{"plugins/readme.txt", "read me"}, {"plugins/Foo.vst3/presets/factory.fxp", "old factory"},
           {"plugins/Foo.vst3/presets/deeper/mine.fxp", "mine"}, {"plugins/Foo.vst3/.DS_Store", "finder"},
           {"plugins/Foo.vst3/Contents/_CodeSignature/CodeResources", "sig"}, {"dev/Extra.vst3/tool.fxp", "tool"}});
    makeLink(root.file("src/Foo-linux/readme.txt"), root.file("plugins/Foo.vst3/presets/linked.fxp"));
    // An old install that is a link to a development tree holds no files of the install's.
    makeLink(root.file("dev/Extra.vst3"), root.file("plugins/Extra.vst3"));

    Lines items{"stale"};
    ASSERT_TRUE(ZipExtractor::install(archive, root.file("plugins"), "Foo.vst3", "Foo", false, items, message, nullptr))
        << message;
    std::sort(items.begin(), items.end());
    EXPECT_EQ(items, (Lines{"Extra.vst3", "Foo.vst3"}));
    EXPECT_EQ(root.read("dev/Extra.vst3/tool.fxp"), "tool");
    EXPECT_FALSE(root.exists("plugins/readme.txt"));
    EXPECT_FALSE(root.exists("plugins/Foo.vst3/presets/deeper"));
    EXPECT_EQ(namesIn(PlatformUtils::romFolder("Foo")), Lines{"mine.fxp"}) << "no factory, signature or Finder file";
    EXPECT_TRUE(leftInTemp().empty());

    const auto elsewhere = root.file("elsewhere");
    EXPECT_FALSE(ZipExtractor::install(archive, elsewhere, "", "Foo", true, items, message, nullptr));
    EXPECT_EQ(message, "This system has no way of asking for administrator rights.");
    EXPECT_TRUE(leftInTemp().empty());
    ZipExtractor::PendingCopy pending;
    ASSERT_TRUE(ZipExtractor::install(archive, elsewhere, "", "Foo", true, items, message, &pending));
    EXPECT_EQ(leftInTemp(), Lines{juce::File(pending.workFolder).getFileName().toStdString()});
    EXPECT_EQ(testSupport::readFile(pending.source + "/Foo.vst3/Contents/plugin.so"), "new");
    EXPECT_EQ(pending.destination, elsewhere);
    EXPECT_FALSE(fs::exists(elsewhere + "/Foo.vst3"));
}
