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

namespace fs = baseLib::filesystem;
using testSupport::ScopedEnv;
using testSupport::TempFolder;
using Paths = std::vector<std::string>;
using Bytes = std::vector<unsigned char>;

namespace
{
Bytes bytes(const std::string& text) { return {text.begin(), text.end()}; }

Paths sorted(Paths paths)
{
    std::sort(paths.begin(), paths.end());
    return paths;
}

Paths pathsOf(const std::vector<fs::FoundFile>& found)
{
    Paths paths;
    for (const auto& file : found)
        paths.push_back(file.path);
    return paths;
}

TEST(FilesystemPaths, TextOperations)
{
    EXPECT_EQ(fs::validatePath(""), "");
    EXPECT_EQ(fs::validatePath("C:\\data\\vyr"), "C:/data/vyr/");
    EXPECT_EQ(fs::validatePath("/"), "/");
    EXPECT_EQ(fs::validatePath("/a/b/"), "/a/b/");

    EXPECT_EQ(fs::getExtension("archive.tar.gz"), ".gz");
    EXPECT_EQ(fs::getExtension("name."), ".");
    EXPECT_EQ(fs::getExtension("/a.d/file"), ".d/file");
    EXPECT_EQ(fs::getExtension("/a/file"), "");
    EXPECT_EQ(fs::stripExtension(".hidden"), "");
    EXPECT_EQ(fs::stripExtension("archive.tar.gz"), "archive.tar");
    EXPECT_EQ(fs::getFilenameWithoutPath("/a/b/"), "");
    EXPECT_EQ(fs::getFilenameWithoutPath("C:\\x\\rom.bin"), "rom.bin");
    EXPECT_EQ(fs::getPath("/name"), "");
    EXPECT_EQ(fs::getPath("name"), "name");

    EXPECT_TRUE(fs::hasExtension("ROM.BIN", ".bin"));
    EXPECT_FALSE(fs::hasExtension("rom.bin", "bin"));
    EXPECT_TRUE(fs::hasExtension("anything", ""));
}

TEST(FilesystemPaths, HomeAndUserDataFolders)
{
    const passwd* entry = getpwuid(getuid());
    const std::string fromDatabase = entry ? entry->pw_dir : "/tmp";
    {
        ScopedEnv home("HOME", "");
        EXPECT_EQ(fs::getHomeDirectory(), fromDatabase);
    }
    ScopedEnv home("HOME", "/home/u");
    ScopedEnv config("XDG_CONFIG_HOME", std::nullopt);
    {
        ScopedEnv xdg("XDG_DATA_HOME", "/xdg\\data");
        EXPECT_EQ(fs::getSpecialFolderPath(fs::SpecialFolderType::UserData), "/xdg/data/");
    }
    ScopedEnv xdg("XDG_DATA_HOME", "");
    EXPECT_EQ(fs::getSpecialFolderPath(fs::SpecialFolderType::UserData), "/home/u/.local/share/");
    EXPECT_EQ(fs::getSpecialFolderPath(fs::SpecialFolderType::UserConfig), "/home/u/.config/");
    EXPECT_EQ(fs::getSpecialFolderPath(static_cast<fs::SpecialFolderType>(2)), "");
    ScopedEnv slashedHome("HOME", "/home/u/");
    EXPECT_EQ(fs::getSpecialFolderPath(fs::SpecialFolderType::UserData), "/home/u/.local/share/");
}

TEST(FilesystemFiles, CreateDirectoryTellsWhetherItMadeTheLastFolder)
{
    TempFolder temp;
    EXPECT_TRUE(fs::createDirectory(temp.file("a/b/c")));
    EXPECT_FALSE(fs::createDirectory(temp.file("a/b/c")));
    EXPECT_TRUE(fs::isDirectory(temp.file("a/b/c")));
    // The parent step already makes the folder, leaving nothing for the final call.
    EXPECT_FALSE(fs::createDirectory(temp.file("x/y/")));
    EXPECT_TRUE(fs::isDirectory(temp.file("x/y")));
    EXPECT_FALSE(fs::createDirectory(""));
    EXPECT_EQ(fs::getFileSize(temp.file("a")), 0u);
    EXPECT_TRUE(fs::exists(temp.file("a")));
}

TEST(FilesystemFiles, UnreadableFileCountsAsAbsent)
{
    TempFolder temp;
    temp.write("open", "x");
    temp.write("secret", "x");
    ASSERT_EQ(chmod(temp.path().c_str(), 0755), 0);
    ASSERT_EQ(chmod(temp.file("open").c_str(), 0644), 0);
    ASSERT_EQ(chmod(temp.file("secret").c_str(), 0), 0);
    // Root reads every file, so the check runs as an ordinary user.
    const int result = testSupport::runInChild([&] {
        if (!testSupport::dropRootPrivileges())
            return 10;
        return !fs::exists(temp.file("open")) ? 1 : fs::exists(temp.file("secret")) ? 2 : 0;
    });
    if (result == 10)
        GTEST_SKIP() << "cannot switch to an unprivileged user";
    EXPECT_EQ(result, 0);
}

TEST(FilesystemFiles, WholeFileReadsAndWrites)
{
    TempFolder temp;
    const std::string file = temp.file("data");
    const Bytes content{0, 1, 0, 255, '\n'};
    ASSERT_TRUE(fs::writeFile(file, content.data(), content.size()));
    Bytes read;
    ASSERT_TRUE(fs::readFile(read, file));
    EXPECT_EQ(read, content);

    EXPECT_TRUE(fs::writeFile(file, nullptr, 0));
    EXPECT_TRUE(fs::readFile(read, file));
    EXPECT_TRUE(read.empty());

    // Failed reads leave the buffer as it was; a folder opens for reading but has no content.
    read = bytes("keep");
    EXPECT_FALSE(fs::readFile(read, temp.file("missing")));
    EXPECT_FALSE(fs::readFile(read, temp.path()));
    EXPECT_EQ(read, bytes("keep"));

    // A full disk only shows when the buffered bytes are flushed on close.
    if (!fs::exists("/dev/full"))
        GTEST_SKIP() << "/dev/full is not available";
    EXPECT_FALSE(fs::writeFile("/dev/full", content.data(), content.size()));
}

TEST(FilesystemFiles, RegionReadsStayInsideTheFile)
{
    TempFolder temp;
    temp.write("ten", "0123456789");
    const std::string file = temp.file("ten");
    Bytes data = bytes("old");
    EXPECT_TRUE(fs::readFileRegion(data, file, 7, 3));
    EXPECT_EQ(data, bytes("789"));
    EXPECT_FALSE(fs::readFileRegion(data, file, 8, 3));
    EXPECT_TRUE(data.empty());
    data = bytes("old");
    EXPECT_TRUE(fs::readFileRegion(data, file, 4, 0));
    EXPECT_TRUE(data.empty());
    // Sizes no file could hold fail like any short read instead of exhausting memory.
    EXPECT_FALSE(fs::readFileRegion(data, file, 0, 1UL << 46));
    EXPECT_FALSE(fs::readFileRegion(data, file, ~0UL, 1));
    EXPECT_TRUE(data.empty());
}

TEST(FilesystemListing, EntriesAreAppendedFullPaths)
{
    TempFolder temp;
    temp.write("f.txt", "x");
    ASSERT_TRUE(fs::createDirectory(temp.file("sub")));
    Paths entries;
    EXPECT_TRUE(fs::getDirectoryEntries(entries, temp.path() + "/"));
    EXPECT_EQ(sorted(entries), (Paths{temp.file("f.txt"), temp.file("sub")}));

    // An empty folder answers false only when nothing was listed before.
    Paths none;
    EXPECT_FALSE(fs::getDirectoryEntries(none, temp.file("sub")));
    EXPECT_TRUE(fs::getDirectoryEntries(entries, temp.file("sub")));
    EXPECT_EQ(entries.size(), 2u);

    testing::internal::CaptureStderr();
    EXPECT_FALSE(fs::getDirectoryEntries(none, temp.file("missing")));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Failed to open directory " + temp.file("missing") + ", error 2\n");
}

TEST(FilesystemListing, FindFilesFiltersByExtensionAndSize)
{
    TempFolder temp;
    temp.write("small.BIN", "1");
    temp.write("large.bin", "1234567890");
    temp.write("other.mid", "12345");
    ASSERT_TRUE(fs::createDirectory(temp.file("folder.bin")));
    ASSERT_EQ(symlink("nowhere", temp.file("dangling.bin").c_str()), 0);

    Paths results;
    EXPECT_TRUE(fs::findFiles(results, temp.path(), ".bin", 0, 0));
    EXPECT_EQ(results.size(), 4u);
    // Any size limit leaves folders out; a broken link is kept only without a minimum.
    results.clear();
    EXPECT_TRUE(fs::findFiles(results, temp.path(), ".bin", 0, 5));
    EXPECT_EQ(sorted(results), (Paths{temp.file("dangling.bin"), temp.file("small.BIN")}));
    results.clear();
    EXPECT_TRUE(fs::findFiles(results, temp.path(), ".bin", 1, 0));
    EXPECT_EQ(sorted(results), (Paths{temp.file("large.bin"), temp.file("small.BIN")}));

    EXPECT_EQ(fs::findFile(temp.path(), ".mid", 0, 0), temp.file("other.mid"));
    EXPECT_EQ(fs::findFile(temp.path(), ".mid", 6, 0), "");
}

TEST(FilesystemListing, RecursiveSearchIsBreadthFirstWithinItsLimits)
{
    TempFolder temp;
    temp.write("top.bin", "1");
    temp.write("sub/mid.bin", "12");
    temp.write("sub/deeper/low.bin", "123");
    const std::string root = temp.path();

    std::vector<fs::FoundFile> found;
    EXPECT_TRUE(fs::findFilesRecursive(found, root, ".bin", 0, 0, 0, 1000));
    EXPECT_EQ(pathsOf(found), Paths{root + "/top.bin"});
    found.clear();
    EXPECT_TRUE(fs::findFilesRecursive(found, root, ".bin", 2, 0, 5, 1000));
    EXPECT_EQ(pathsOf(found), (Paths{root + "/sub/mid.bin", root + "/sub/deeper/low.bin"}));
    EXPECT_EQ(found[1].size, 3u);

    // Folders count as entries: top.bin and sub (in either order) use up a limit of two.
    found.clear();
    EXPECT_FALSE(fs::findFilesRecursive(found, root, ".bin", 2, 0, 5, 2));
    EXPECT_FALSE(fs::findFilesRecursive(found, root, "", 0, 0, 5, 0));
}

TEST(FilesystemListing, RecursiveSearchEndsALinkLoopAtTheDepthLimit)
{
    TempFolder temp;
    temp.write("a/file.bin", "x");
    ASSERT_EQ(symlink(temp.path().c_str(), temp.file("a/loop").c_str()), 0);
    std::vector<fs::FoundFile> found;
    EXPECT_TRUE(fs::findFilesRecursive(found, temp.path(), ".bin", 0, 0, 4, 1000000));
    EXPECT_EQ(pathsOf(found), (Paths{temp.file("a/file.bin"), temp.file("a/loop/a/file.bin")}));
}
}
