#include "base/filesystem.h"

#include "support/scopedEnv.h"
#include "support/tempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include <pwd.h>
#include <unistd.h>

namespace fs = baseLib::filesystem;
using testSupport::ScopedEnv;
using testSupport::TempFolder;
using Paths = std::vector<std::string>;
using Bytes = std::vector<unsigned char>;

namespace
{
Paths sorted(Paths paths)
{
    std::sort(paths.begin(), paths.end());
    return paths;
}

// The ordinary folders are checked with the settings and data folders built on them.
TEST(FilesystemPaths, TextOperationsAndTheHomeAndUserDataFolders)
{
    EXPECT_EQ(fs::validatePath(""), "");
    // The last dot of the whole text counts, also in a folder part.
    EXPECT_EQ(fs::getExtension("/a.d/file") + fs::getExtension("/a/file"), ".d/file");
    EXPECT_TRUE(fs::hasExtension("ROM.BIN", ".bin") && fs::hasExtension("anything", ""));
    EXPECT_FALSE(fs::hasExtension("rom.bin", "bin"));

    const passwd* entry = getpwuid(getuid());
    ScopedEnv xdg("XDG_DATA_HOME", "");
    {
        ScopedEnv home("HOME", "");
        EXPECT_EQ(fs::getHomeDirectory(), entry ? entry->pw_dir : "/tmp");
    }
    ScopedEnv slashedHome("HOME", "/home/u/");
    EXPECT_EQ(fs::getSpecialFolderPath(fs::SpecialFolderType::UserData), "/home/u/.local/share/");
    EXPECT_EQ(fs::getSpecialFolderPath(static_cast<fs::SpecialFolderType>(2)), "");
}

TEST(FilesystemFiles, FoldersAndWholeAndRegionReads)
{
    TempFolder temp;
    EXPECT_TRUE(fs::createDirectory(temp.file("a/b/c")));
    EXPECT_FALSE(fs::createDirectory(temp.file("a/b/c")) || !fs::isDirectory(temp.file("a/b/c")));
    // The parent step already makes the folder, leaving nothing for the final call.
    EXPECT_FALSE(fs::createDirectory(temp.file("x/y/")));
    EXPECT_TRUE(fs::isDirectory(temp.file("x/y")));

    const std::string file = temp.file("data");
    const Bytes content{0, 1, 0, 255, '\n'};
    ASSERT_TRUE(fs::writeFile(file, content.data(), content.size()));
    Bytes read;
    ASSERT_TRUE(fs::readFile(read, file));
    EXPECT_EQ(read, content);
    // Failed reads leave the buffer as it was; a folder opens for reading but has no content.
    EXPECT_FALSE(fs::readFile(read, temp.file("missing")) || fs::readFile(read, temp.path()));
    EXPECT_EQ(read, content);

    // A region past the end, or of a size no file could hold, fails without exhausting memory.
    EXPECT_TRUE(fs::readFileRegion(read, file, 3, 2));
    EXPECT_EQ(read, (Bytes{255, '\n'}));
    const std::tuple<unsigned long, unsigned long, bool> regions[] = {
        {4, 2, false}, {0, 1UL << 46, false}, {~0UL, 1, false}, {4, 0, true}};
    for (const auto& [offset, size, readable] : regions)
    {
        read = {'o', 'l', 'd'};
        EXPECT_EQ(fs::readFileRegion(read, file, offset, size), readable) << offset << " " << size;
        EXPECT_TRUE(read.empty());
    }
    EXPECT_TRUE(fs::writeFile(file, nullptr, 0) && fs::readFile(read, file) && read.empty());

    // A full disk only shows when the buffered bytes are flushed on close.
    if (!fs::exists("/dev/full"))
        GTEST_SKIP() << "/dev/full is not available";
    EXPECT_FALSE(fs::writeFile("/dev/full", content.data(), content.size()));
}

TEST(FilesystemListing, EntriesAreFullPathsAndSearchesKeepToExtensionSizeAndDepth)
{
    TempFolder temp;
    for (const auto& [name, content] : {std::pair{"flat/small.BIN", "1"}, {"flat/large.bin", "1234567890"},
                                        {"flat/other.mid", "12345"}, {"tree/top.bin", "1"}, {"tree/sub/mid.bin", "12"},
                                        {"tree/sub/deeper/low.bin", "123"}})
        temp.write(name, content);
    ASSERT_TRUE(fs::createDirectory(temp.file("flat/folder.bin")));
    ASSERT_EQ(symlink("nowhere", temp.file("flat/dangling.bin").c_str()), 0);
    ASSERT_EQ(symlink(temp.file("tree").c_str(), temp.file("tree/sub/deeper/loop").c_str()), 0);

    Paths entries, none;
    EXPECT_TRUE(fs::getDirectoryEntries(entries, temp.file("tree/sub") + "/"));
    EXPECT_EQ(sorted(entries), (Paths{temp.file("tree/sub/deeper"), temp.file("tree/sub/mid.bin")}));
    // An empty folder answers false only when nothing was listed before.
    EXPECT_FALSE(fs::getDirectoryEntries(none, temp.file("flat/folder.bin")));
    EXPECT_TRUE(fs::getDirectoryEntries(entries, temp.file("flat/folder.bin")));
    EXPECT_EQ(entries.size(), 2u);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(fs::getDirectoryEntries(none, temp.file("missing")));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Failed to open directory " + temp.file("missing") + ", error 2\n");

    // Any size limit leaves folders out; a broken link is kept only without a minimum.
    const std::tuple<unsigned long, unsigned long, Paths> flat[] = {
        {0, 0, {"dangling.bin", "folder.bin", "large.bin", "small.BIN"}},
        {0, 5, {"dangling.bin", "small.BIN"}},
        {1, 0, {"large.bin", "small.BIN"}}};
    for (const auto& [minSize, maxSize, names] : flat)
    {
        Paths results, expected;
        for (const auto& name : names)
            expected.push_back(temp.file("flat/" + name));
        EXPECT_TRUE(fs::findFiles(results, temp.file("flat"), ".bin", minSize, maxSize));
        EXPECT_EQ(sorted(results), expected) << minSize << "-" << maxSize;
    }

    const auto search = [&](unsigned long minSize, unsigned int maxDepth, unsigned long maxEntries) {
        std::vector<fs::FoundFile> found;
        const bool any = fs::findFilesRecursive(found, temp.file("tree"), ".bin", minSize, 0, maxDepth, maxEntries);
        EXPECT_EQ(any, !found.empty());
        Paths paths;
        for (const auto& file : found)
            paths.push_back(file.path.substr(temp.file("tree").size() + 1) + ":" + std::to_string(file.size));
        return paths;
    };
    EXPECT_EQ(search(0, 0, 1000), Paths{"top.bin:1"});
    EXPECT_EQ(search(2, 2, 1000), (Paths{"sub/mid.bin:2", "sub/deeper/low.bin:3"}));
    // Links to folders are followed, so a loop of links ends only at the depth limit.
    EXPECT_EQ(search(3, 5, 1000), (Paths{"sub/deeper/low.bin:3", "sub/deeper/loop/sub/deeper/low.bin:3"}));
    // Folders count as entries: top.bin and sub (in either order) use up a limit of two.
    EXPECT_EQ(search(2, 5, 2), Paths{});
    EXPECT_EQ(search(0, 5, 0), Paths{});
}
}
