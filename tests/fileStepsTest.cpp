#include "manager/platform/fileSteps.h"

#include "support/tempFolder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <thread>
#include <vector>

using namespace pluginManager;

// Runs making the same new chain at one moment each find it made, at every level; something
// that is not a folder in the chain stops it.
TEST(FileSteps, AFolderChainMadeByManyAtOnceIsMadeForEachAndAFileInItStopsIt)
{
    for (int round = 0; round < 20; ++round)
    {
        testSupport::TempFolder work;
        const juce::File deep(work.file("a/b/c/d/e/f"));
        std::vector<std::thread> makers;
        std::vector<char> made(8, 0);
        for (size_t i = 0; i < made.size(); ++i)
            makers.emplace_back([&, i] { made[i] = createFolder(deep); });
        for (auto& maker : makers)
            maker.join();
        EXPECT_EQ(std::vector<char>(8, 1), made) << "round " << round;
        EXPECT_TRUE(deep.isDirectory());

        work.write("a/b/file", "x");
        errno = 0;
        EXPECT_FALSE(createFolder(juce::File(work.file("a/b/file/g"))));
        EXPECT_EQ(ENOTDIR, errno);
    }
}

TEST(FileSteps, AFinishedFileReplacesItsTargetWhole)
{
    testSupport::TempFolder work;
    work.write("new.part", "new");
    work.write("file", "old");
    ASSERT_TRUE(putInPlace(juce::File(work.file("new.part")), juce::File(work.file("file"))));
    EXPECT_EQ("new", work.read("file"));
    EXPECT_FALSE(work.exists("new.part"));

    // Into a folder's place it cannot go; what was there stays.
    work.write("again.part", "again");
    work.write("folder/kept", "kept");
    EXPECT_FALSE(putInPlace(juce::File(work.file("again.part")), juce::File(work.file("folder"))));
    EXPECT_EQ("kept", work.read("folder/kept"));
    EXPECT_EQ("again", work.read("again.part"));
}
