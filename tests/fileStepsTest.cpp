#include "manager/platform/fileSteps.h"

#include "support/tempFolder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <future>
#include <tuple>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

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

// Where a name is taken, even by a link that leads nowhere, nothing moves and nothing is replaced.
TEST(FileSteps, MovingWithoutReplacingNeverTakesANameThatIsTaken)
{
    const testSupport::TempFolder work;
    work.write("from", "mine");
    work.write("taken", "theirs");
    std::filesystem::create_symlink("nowhere", work.file("dangling"));
    for (const char* target : {"taken", "dangling"})
    {
        errno = 0;
        EXPECT_FALSE(pluginManager::moveWithoutReplacing(juce::File(work.file("from")), juce::File(work.file(target))))
            << target;
        EXPECT_EQ(errno, EEXIST) << target;
    }
    EXPECT_EQ(work.read("from") + work.read("taken"), "minetheirs");
    EXPECT_EQ(std::filesystem::read_symlink(work.file("dangling")), "nowhere");
}

// A FIFO is never waited on: with no writer, an open that waits would never return.
TEST(FileSteps, OnlyARegularFileIsOpenedAndComparedAndNothingElseHoldsTheRunUp)
{
    using pluginManager::Opening;
    const testSupport::TempFolder work;
    work.write("file", "bytes");
    work.write("copy", "bytes");
    work.write("other", "other");
    ASSERT_EQ(::mkfifo(work.file("fifo").c_str(), 0644), 0);
    std::filesystem::create_symlink(work.file("file"), work.file("link"));
    ASSERT_EQ(::link(work.file("file").c_str(), work.file("second name").c_str()), 0);
    // what is opened, whether a link is followed, the answer
    const std::tuple<std::string, bool, Opening> opened[] = {
        {"file", false, Opening::Opened}, {"fifo", true, Opening::NotAFile}, {"link", false, Opening::NotAFile},
        {"link", true, Opening::Opened},  {"missing", true, Opening::Failed},
    };
    for (const auto& [name, follow, answer] : opened)
    {
        int fd = -1;
        struct stat info = {};
        EXPECT_EQ(pluginManager::openRegularFile(work.file(name), follow, fd, info), answer) << name << " " << follow;
        EXPECT_EQ(fd >= 0, answer == Opening::Opened) << name;
        if (fd >= 0)
            ::close(fd);
    }
    // one, other, whether they are two files of the same bytes (a file is no copy of itself)
    const std::tuple<std::string, std::string, bool> compared[] = {
        {"copy", "file", true}, {"other", "file", false}, {"second name", "file", false}, {"copy", "link", false}};
    for (const auto& [one, other, same] : compared)
        EXPECT_EQ(pluginManager::holdSameBytes(juce::File(work.file(one)), juce::File(work.file(other))), same)
            << one << " and " << other;
}
