#include "base/filesystem.h"

#include "support/childProcess.h"
#include "support/scopedEnv.h"
#include "support/tempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

namespace fs = baseLib::filesystem;
using testSupport::ScopedEnv;
using testSupport::TempFolder;

namespace
{
std::vector<unsigned char> bytes(const std::string& text) { return {text.begin(), text.end()}; }

std::vector<std::string> sorted(std::vector<std::string> paths)
{
    std::sort(paths.begin(), paths.end());
    return paths;
}

std::vector<std::string> pathsOf(const std::vector<fs::FoundFile>& found)
{
    std::vector<std::string> paths;
    for (const auto& file : found)
        paths.push_back(file.path);
    return paths;
}

TEST(FilesystemPaths, ValidatePathNormalisesSeparatorsAndEndsInOneSlash)
{
    EXPECT_EQ(fs::validatePath(""), "");
    EXPECT_EQ(fs::validatePath("C:\\data\\vyr"), "C:/data/vyr/");
    EXPECT_EQ(fs::validatePath("/"), "/");
    EXPECT_EQ(fs::validatePath("/a/b/"), "/a/b/");
    EXPECT_EQ(fs::validatePath("rel\\"), "rel/");
}

TEST(FilesystemPaths, NamePartsFollowTheLastDotAndSeparator)
{
    EXPECT_EQ(fs::getExtension("archive.tar.gz"), ".gz");
    EXPECT_EQ(fs::getExtension("name."), ".");
    EXPECT_EQ(fs::getExtension("/a.d/file"), ".d/file");
    EXPECT_EQ(fs::getExtension("/a/file"), "");

    EXPECT_EQ(fs::stripExtension(".hidden"), "");
    EXPECT_EQ(fs::stripExtension("archive.tar.gz"), "archive.tar");
    EXPECT_EQ(fs::stripExtension("plain"), "plain");

    EXPECT_EQ(fs::getFilenameWithoutPath("/a/b/"), "");
    EXPECT_EQ(fs::getFilenameWithoutPath("C:\\x\\rom.bin"), "rom.bin");
    EXPECT_EQ(fs::getFilenameWithoutPath("rom.bin"), "rom.bin");

    EXPECT_EQ(fs::getPath("/name"), "");
    EXPECT_EQ(fs::getPath("name"), "name");
    EXPECT_EQ(fs::getPath("/a/b\\c"), "/a/b");
}

TEST(FilesystemPaths, HasExtensionIgnoresCaseAndNeedsTheDot)
{
    EXPECT_TRUE(fs::hasExtension("ROM.BIN", ".bin"));
    EXPECT_TRUE(fs::hasExtension("rom.bin", ".BIN"));
    EXPECT_FALSE(fs::hasExtension("rom.bin", "bin"));
    EXPECT_FALSE(fs::hasExtension("rom.bin", ".mid"));
    EXPECT_TRUE(fs::hasExtension("anything", ""));
    EXPECT_EQ(fs::lowercase("AbC.Z9"), "abc.z9");
}

TEST(FilesystemPaths, HomeFolderComesFromHomeElseThePasswordDatabase)
{
    {
        ScopedEnv home("HOME", "/home/u/");
        EXPECT_EQ(fs::getHomeDirectory(), "/home/u/");
    }
    const passwd* entry = getpwuid(getuid());
    const std::string expected = entry ? (entry->pw_dir ? entry->pw_dir : "") : "/tmp";
    {
        ScopedEnv home("HOME", "");
        EXPECT_EQ(fs::getHomeDirectory(), expected);
    }
    {
        ScopedEnv home("HOME", std::nullopt);
        EXPECT_EQ(fs::getHomeDirectory(), expected);
    }
}

TEST(FilesystemPaths, UserDataFolderPrefersXdgDataHome)
{
    ScopedEnv home("HOME", "/home/u");
    {
        ScopedEnv xdg("XDG_DATA_HOME", "/xdg\\data");
        EXPECT_EQ(fs::getSpecialFolderPath(fs::SpecialFolderType::UserData), "/xdg/data/");
    }
    {
        ScopedEnv xdg("XDG_DATA_HOME", "relative");
        EXPECT_EQ(fs::getSpecialFolderPath(fs::SpecialFolderType::UserData), "relative/");
    }
    {
        ScopedEnv xdg("XDG_DATA_HOME", "");
        EXPECT_EQ(fs::getSpecialFolderPath(fs::SpecialFolderType::UserData), "/home/u/.local/share/");
    }
    ScopedEnv xdg("XDG_DATA_HOME", std::nullopt);
    EXPECT_EQ(fs::getSpecialFolderPath(fs::SpecialFolderType::UserData), "/home/u/.local/share/");
    ScopedEnv slashedHome("HOME", "/home/u/");
    EXPECT_EQ(fs::getSpecialFolderPath(fs::SpecialFolderType::UserData), "/home/u/.local/share/");
}

TEST(FilesystemPaths, UserConfigFolderAndUnknownTypes)
{
    ScopedEnv home("HOME", "/home/u");
    ScopedEnv data("XDG_DATA_HOME", "/xdg-data");
    {
        ScopedEnv config("XDG_CONFIG_HOME", "/xdg-config");
        EXPECT_EQ(fs::getSpecialFolderPath(fs::SpecialFolderType::UserConfig), "/xdg-config/");
    }
    ScopedEnv config("XDG_CONFIG_HOME", std::nullopt);
    EXPECT_EQ(fs::getSpecialFolderPath(fs::SpecialFolderType::UserConfig), "/home/u/.config/");
    EXPECT_EQ(fs::getSpecialFolderPath(static_cast<fs::SpecialFolderType>(2)), "");
    EXPECT_EQ(fs::getSpecialFolderPath(static_cast<fs::SpecialFolderType>(255)), "");
}

TEST(FilesystemPaths, CurrentDirectoryEndsInSlashAndIsEmptyWhenGone)
{
    TempFolder temp;
    const std::string gone = temp.file("gone");
    ASSERT_EQ(mkdir(gone.c_str(), 0775), 0);
    const int result = testSupport::runInChild([&] {
        if (chdir(temp.path().c_str()) != 0)
            return 10;
        if (fs::getCurrentDirectory() != temp.path() + "/")
            return 11;
        if (chdir(gone.c_str()) != 0 || rmdir(gone.c_str()) != 0)
            return 12;
        return fs::getCurrentDirectory().empty() ? 0 : 13;
    });
    EXPECT_EQ(result, 0);
}

TEST(FilesystemFiles, CreateDirectoryMakesParentsAndTellsWhetherItMadeTheLast)
{
    TempFolder temp;
    const std::string deep = temp.file("a/b/c");
    EXPECT_TRUE(fs::createDirectory(deep));
    EXPECT_TRUE(fs::isDirectory(deep));
    EXPECT_FALSE(fs::createDirectory(deep));
    EXPECT_TRUE(fs::isDirectory(deep));

    // The folder is made by the parent step, so the final call has nothing left to create.
    const std::string slashed = temp.file("x/y/");
    EXPECT_FALSE(fs::createDirectory(slashed));
    EXPECT_TRUE(fs::isDirectory(slashed));

    EXPECT_FALSE(fs::createDirectory(""));
}

TEST(FilesystemFiles, FactsOfFilesFoldersAndMissingPaths)
{
    TempFolder temp;
    temp.write("five.bin", "12345");
    const std::string file = temp.file("five.bin");
    const std::string missing = temp.file("missing");

    EXPECT_EQ(fs::getFileSize(file), 5u);
    EXPECT_EQ(fs::getFileSize(temp.path()), 0u);
    EXPECT_EQ(fs::getFileSize(missing), 0u);

    utimbuf times{1000000000, 1234567890};
    ASSERT_EQ(utime(file.c_str(), &times), 0);
    EXPECT_EQ(fs::getFileModificationTime(file), 1234567890);
    EXPECT_EQ(fs::getFileModificationTime(missing), 0);

    EXPECT_TRUE(fs::exists(file));
    EXPECT_TRUE(fs::exists(temp.path()));
    EXPECT_FALSE(fs::exists(missing));
    EXPECT_TRUE(fs::isDirectory(temp.path()));
    EXPECT_FALSE(fs::isDirectory(file));

    EXPECT_TRUE(fs::remove(file));
    EXPECT_FALSE(fs::exists(file));
    EXPECT_FALSE(fs::remove(file));
}

TEST(FilesystemFiles, UnreadableFileCountsAsAbsent)
{
    TempFolder temp;
    temp.write("secret", "x");
    temp.write("open", "x");
    const std::string file = temp.file("secret");
    ASSERT_EQ(chmod(file.c_str(), 0), 0);
    ASSERT_EQ(chmod(temp.file("open").c_str(), 0644), 0);
    ASSERT_EQ(chmod(temp.path().c_str(), 0755), 0);
    // Root reads every file, so the check runs as an ordinary user.
    const int result = testSupport::runInChild([&] {
        if (!testSupport::dropRootPrivileges())
            return 10;
        if (!fs::exists(temp.file("open")))
            return 2;
        return fs::exists(file) ? 1 : 0;
    });
    if (result == 10)
        GTEST_SKIP() << "cannot switch to an unprivileged user";
    EXPECT_EQ(result, 0);
}

TEST(FilesystemFiles, WholeFilesRoundTripAndEmptyOnesAreValid)
{
    TempFolder temp;
    const std::string file = temp.file("data.bin");
    const std::vector<unsigned char> content{0, 1, 2, 0, 255, '\n', 0};
    ASSERT_TRUE(fs::writeFile(file, content.data(), content.size()));
    std::vector<unsigned char> read;
    ASSERT_TRUE(fs::readFile(read, file));
    EXPECT_EQ(read, content);

    // Writing nothing empties the file, and reading it empties the buffer.
    EXPECT_TRUE(fs::writeFile(file, nullptr, 0));
    EXPECT_EQ(fs::getFileSize(file), 0u);
    EXPECT_TRUE(fs::readFile(read, file));
    EXPECT_TRUE(read.empty());
}

TEST(FilesystemFiles, FailedReadsAndWritesSaySo)
{
    TempFolder temp;
    const auto before = bytes("keep");
    std::vector<unsigned char> buffer = before;
    EXPECT_FALSE(fs::readFile(buffer, temp.file("missing")));
    EXPECT_EQ(buffer, before);
    EXPECT_FALSE(fs::readFile(buffer, temp.path()));
    EXPECT_EQ(buffer, before);

    EXPECT_FALSE(fs::writeFile(temp.file("no/such/folder/file"), before.data(), before.size()));
    // A full disk shows only when the buffered bytes are flushed on close.
    if (!fs::exists("/dev/full"))
        GTEST_SKIP() << "/dev/full is not available";
    EXPECT_FALSE(fs::writeFile("/dev/full", before.data(), before.size()));
}

TEST(FilesystemFiles, RegionsInsideTheFileOnly)
{
    TempFolder temp;
    temp.write("ten", "0123456789");
    const std::string file = temp.file("ten");
    std::vector<unsigned char> data = bytes("old");

    EXPECT_TRUE(fs::readFileRegion(data, file, 2, 3));
    EXPECT_EQ(data, bytes("234"));
    EXPECT_TRUE(fs::readFileRegion(data, file, 7, 3));
    EXPECT_EQ(data, bytes("789"));

    EXPECT_FALSE(fs::readFileRegion(data, file, 8, 3));
    EXPECT_TRUE(data.empty());

    data = bytes("old");
    EXPECT_TRUE(fs::readFileRegion(data, file, 4, 0));
    EXPECT_TRUE(data.empty());

    data = bytes("old");
    EXPECT_FALSE(fs::readFileRegion(data, temp.file("missing"), 0, 1));
    EXPECT_TRUE(data.empty());
}

TEST(FilesystemFiles, RegionsFarBeyondTheFileFailWithoutExhaustingMemory)
{
    TempFolder temp;
    temp.write("ten", "0123456789");
    std::vector<unsigned char> data;
    EXPECT_FALSE(fs::readFileRegion(data, temp.file("ten"), 0, 1UL << 46));
    EXPECT_TRUE(data.empty());
    EXPECT_FALSE(fs::readFileRegion(data, temp.file("ten"), ~0UL, 1));
    EXPECT_TRUE(data.empty());
}

TEST(FilesystemListing, EntriesAreFullPathsAppendedToTheList)
{
    TempFolder temp;
    temp.write("f.txt", "x");
    ASSERT_TRUE(fs::createDirectory(temp.file("sub")));

    std::vector<std::string> entries;
    EXPECT_TRUE(fs::getDirectoryEntries(entries, temp.path() + "/"));
    EXPECT_EQ(sorted(entries), (std::vector<std::string>{temp.file("f.txt"), temp.file("sub")}));

    std::vector<std::string> appended{"earlier"};
    EXPECT_TRUE(fs::getDirectoryEntries(appended, temp.path()));
    EXPECT_EQ(appended.size(), 3u);
    EXPECT_EQ(appended.front(), "earlier");

    // An empty folder answers false only when nothing was listed before.
    std::vector<std::string> none;
    EXPECT_FALSE(fs::getDirectoryEntries(none, temp.file("sub")));
    EXPECT_TRUE(none.empty());
    EXPECT_TRUE(fs::getDirectoryEntries(appended, temp.file("sub")));
    EXPECT_EQ(appended.size(), 3u);
}

TEST(FilesystemListing, MissingFolderIsReportedOnTheErrorStream)
{
    TempFolder temp;
    const std::string missing = temp.file("missing");
    std::vector<std::string> entries;
    testing::internal::CaptureStderr();
    const bool listed = fs::getDirectoryEntries(entries, missing);
    const std::string error = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(listed);
    EXPECT_EQ(error, "Failed to open directory " + missing + ", error 2\n");
}

TEST(FilesystemListing, FindFilesFiltersByExtensionAndSize)
{
    TempFolder temp;
    temp.write("small.BIN", "1");
    temp.write("large.bin", "1234567890");
    temp.write("other.mid", "12345");
    ASSERT_TRUE(fs::createDirectory(temp.file("folder.bin")));
    const std::string folder = temp.path();

    std::vector<std::string> results;
    EXPECT_TRUE(fs::findFiles(results, folder, ".bin", 0, 0));
    EXPECT_EQ(sorted(results),
              (std::vector<std::string>{temp.file("folder.bin"), temp.file("large.bin"), temp.file("small.BIN")}));

    // Any size limit leaves folders out.
    results = {"earlier"};
    EXPECT_TRUE(fs::findFiles(results, folder, ".bin", 1, 0));
    ASSERT_EQ(results.size(), 3u);
    EXPECT_EQ(results.front(), "earlier");
    EXPECT_EQ(sorted({results[1], results[2]}), (std::vector<std::string>{temp.file("large.bin"), temp.file("small.BIN")}));

    results.clear();
    EXPECT_TRUE(fs::findFiles(results, folder, ".bin", 2, 0));
    EXPECT_EQ(results, (std::vector<std::string>{temp.file("large.bin")}));
    results.clear();
    EXPECT_TRUE(fs::findFiles(results, folder, "", 0, 5));
    EXPECT_EQ(sorted(results), (std::vector<std::string>{temp.file("other.mid"), temp.file("small.BIN")}));
    results.clear();
    EXPECT_FALSE(fs::findFiles(results, folder, ".wav", 0, 0));

    EXPECT_EQ(fs::findFile(folder, ".mid", 0, 0), temp.file("other.mid"));
    EXPECT_EQ(fs::findFile(folder, ".mid", 6, 0), "");
}

TEST(FilesystemListing, FindFilesTakesBrokenLinksOnlyWithoutMinimumSize)
{
    TempFolder temp;
    ASSERT_EQ(symlink("nowhere", temp.file("dangling.bin").c_str()), 0);
    std::vector<std::string> results;
    EXPECT_FALSE(fs::findFiles(results, temp.path(), ".bin", 1, 0));
    EXPECT_TRUE(fs::findFiles(results, temp.path(), ".bin", 0, 100));
    EXPECT_EQ(results, (std::vector<std::string>{temp.file("dangling.bin")}));
}

class FilesystemRecursive : public testing::Test
{
protected:
    // root/top.bin, root/sub/mid.bin, root/sub/deeper/low.bin, plus a folder with the extension.
    void SetUp() override
    {
        temp.write("top.bin", "1");
        temp.write("sub/mid.bin", "12");
        temp.write("sub/notes.txt", "abc");
        temp.write("sub/deeper/low.bin", "123");
        ASSERT_TRUE(fs::createDirectory(temp.file("dir.bin")));
    }

    TempFolder temp;
};

TEST_F(FilesystemRecursive, DepthLimitsHowFarTheSearchDescends)
{
    std::vector<fs::FoundFile> found;
    EXPECT_TRUE(fs::findFilesRecursive(found, temp.path(), ".bin", 0, 0, 0, 1000));
    EXPECT_EQ(pathsOf(found), (std::vector<std::string>{temp.path() + "/top.bin"}));

    found.clear();
    EXPECT_TRUE(fs::findFilesRecursive(found, temp.path(), ".bin", 0, 0, 1, 1000));
    EXPECT_EQ(pathsOf(found), (std::vector<std::string>{temp.path() + "/top.bin", temp.path() + "/sub/mid.bin"}));

    // Breadth-first: every file of a level comes before those of the next.
    found.clear();
    EXPECT_TRUE(fs::findFilesRecursive(found, temp.path(), ".bin", 0, 0, 5, 1000));
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[0].path, temp.path() + "/top.bin");
    EXPECT_EQ(found[0].size, 1u);
    EXPECT_EQ(found[1].path, temp.path() + "/sub/mid.bin");
    EXPECT_EQ(found[2].path, temp.path() + "/sub/deeper/low.bin");
    EXPECT_EQ(found[2].size, 3u);
}

TEST_F(FilesystemRecursive, SizeLimitsApplyToFilesWhileEveryFolderIsEntered)
{
    std::vector<fs::FoundFile> found{{"earlier", 7}};
    EXPECT_TRUE(fs::findFilesRecursive(found, temp.path(), ".bin", 2, 3, 5, 1000));
    EXPECT_EQ(pathsOf(found), (std::vector<std::string>{"earlier", temp.path() + "/sub/mid.bin",
                                                        temp.path() + "/sub/deeper/low.bin"}));
}

TEST(FilesystemRecursiveLimits, EntryLimitCountsEveryListedEntry)
{
    TempFolder temp;
    for (const char* name : {"1.bin", "2.bin", "3.bin", "4.bin", "5.bin"})
        temp.write(name, "x");

    std::vector<fs::FoundFile> found;
    EXPECT_TRUE(fs::findFilesRecursive(found, temp.path(), ".bin", 0, 0, 0, 3));
    EXPECT_EQ(found.size(), 3u);

    found.clear();
    EXPECT_FALSE(fs::findFilesRecursive(found, temp.path(), ".bin", 0, 0, 0, 0));

    // Folders count too: one folder and its file take two entries.
    TempFolder nested;
    nested.write("only/file.bin", "x");
    found.clear();
    EXPECT_FALSE(fs::findFilesRecursive(found, nested.path(), "", 0, 0, 5, 1));
    EXPECT_TRUE(fs::findFilesRecursive(found, nested.path(), "", 0, 0, 5, 2));
}

TEST(FilesystemRecursiveLimits, LinkLoopEndsAtTheDepthLimit)
{
    TempFolder temp;
    temp.write("a/file.bin", "x");
    ASSERT_EQ(symlink(temp.path().c_str(), temp.file("a/loop").c_str()), 0);

    std::vector<fs::FoundFile> found;
    EXPECT_TRUE(fs::findFilesRecursive(found, temp.path(), ".bin", 0, 0, 4, 1000000));
    // Found once per turn of the loop: as a/file.bin at depth 1 and a/loop/a/file.bin at depth 3.
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[1].path, temp.path() + "/a/loop/a/file.bin");
}
}
