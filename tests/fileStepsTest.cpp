#include "manager/platform/fileSteps.h"

#include "support/tempFolder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <future>
#include <vector>

// Runs making the same new chain at one moment each find it made, at every level; something
// that is not a folder in the chain stops it. Putting a finished file in place is checked where
// stored files and downloads are replaced.
TEST(FileSteps, AFolderChainMadeByManyAtOnceIsMadeForEachAndAFileInItStopsIt)
{
    for (int round = 0; round < 20; ++round)
    {
        const testSupport::TempFolder work;
        const juce::File deep(work.file("a/b/c/d/e/f"));
        std::vector<std::future<bool>> makers;
        for (int i = 0; i < 8; ++i)
            makers.push_back(std::async(std::launch::async, [&deep] { return pluginManager::createFolder(deep); }));
        for (auto& made : makers)
            EXPECT_TRUE(made.get()) << "round " << round;
    }
    const testSupport::TempFolder work;
    work.write("a/b/file", "x");
    EXPECT_FALSE(pluginManager::createFolder(juce::File(work.file("a/b/file/g"))));
    EXPECT_EQ(errno, ENOTDIR);
}
