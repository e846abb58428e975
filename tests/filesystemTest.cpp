#include "base/filesystem.h"

#include "support/scopedEnv.h"
#include "support/tempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include <pwd.h>
#include <unistd.h>

namespace fs = baseLib::filesystem;
using testSupport::ScopedEnv;
using testSupport::TempFolder;
using Paths = std::vector<std::string>;
using Bytes = std::vector<unsigned char>;

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
    // True only for the call that made the last folder, its parents made on the way.
    EXPECT_TRUE(fs::createDirectory(temp.file("a/b")) && !fs::createDirectory(temp.file("a/b")));
    const std::string file = temp.file("data");
    const Bytes content{0, 1, 0, 255, '\n'};
    Bytes read;
    ASSERT_TRUE(fs::writeFile(file, content.data(), content.size()) && fs::readFile(read, file));
    // A failed read leaves the buffer as it was.
    EXPECT_FALSE(fs::readFile(read, temp.file("missing")));
    EXPECT_EQ(read, content);
    EXPECT_TRUE(fs::readFileRegion(read, file, 3, 2));
    EXPECT_EQ(read, (Bytes{255, '\n'}));
    // A region past the end, or of a size no file could hold, fails empty without exhausting memory.
    for (const auto& [offset, size] : {std::pair{4UL, 2UL}, {0UL, 1UL << 46}, {~0UL, 1UL}})
        EXPECT_FALSE(fs::readFileRegion(read, file, offset, size) || !read.empty()) << offset << " " << size;

    // A full disk only shows when the buffered bytes are flushed on close.
    if (!fs::exists("/dev/full"))
        GTEST_SKIP() << "/dev/full is not available";
    EXPECT_FALSE(fs::writeFile("/dev/full", content.data(), content.size()));
}

TEST(FilesystemListing, EntriesAreFullPathsAndSearchesKeepToExtensionSizeAndDepth)
{
    TempFolder temp;
    for (const auto& [name, content] : {std::pair{"flat/small.BIN", "1"}, {"flat/large.bin", "1234567890"},
                                        {"flat/other.mid", "5"}, {"tree/sub/deeper/low.bin", "123"}})
        temp.write(name, content);
    ASSERT_TRUE(fs::createDirectory(temp.file("flat/folder.bin")));
    ASSERT_EQ(symlink("nowhere", temp.file("flat/dangling.bin").c_str()), 0);

    Paths entries, none;
    EXPECT_TRUE(fs::getDirectoryEntries(entries, temp.file("tree") + "/"));
    EXPECT_EQ(entries, Paths{temp.file("tree/sub")});
    EXPECT_FALSE(fs::getDirectoryEntries(none, temp.file("flat/folder.bin")));

    // A minimum size leaves folders and broken links out.
    Paths found;
    EXPECT_TRUE(fs::findFiles(found, temp.file("flat"), ".bin", 1, 0));
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (Paths{temp.file("flat/large.bin"), temp.file("flat/small.BIN")}));

    // low.bin lies two levels down; folders count as entries.
    std::vector<fs::FoundFile> deep;
    EXPECT_FALSE(fs::findFilesRecursive(deep, temp.file("tree"), ".bin", 0, 0, 1, 100));
    EXPECT_FALSE(fs::findFilesRecursive(deep, temp.file("tree"), ".bin", 0, 0, 2, 2));
    ASSERT_TRUE(fs::findFilesRecursive(deep, temp.file("tree"), ".bin", 0, 0, 2, 3));
    EXPECT_EQ(deep.front().path + " " + std::to_string(deep.front().size), temp.file("tree/sub/deeper/low.bin") + " 3");
}
