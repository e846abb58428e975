#include "manager/log.h"

#include "manager/platformUtils.h"

#include "support/tempFolder.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

using pluginManager::Log;
using pluginManager::PlatformUtils;
using testSupport::TempFolder;
using Lines = std::vector<std::string>;

namespace
{
const std::string welcome = "VYR Plugin Manager 2.2.27";

size_t count(const std::string& text, const std::string& part)
{
    size_t found = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++found;
    return found;
}

// The messages of the time-stamped lines, in file order; the welcome block has no stamp.
Lines messages(const std::string& content)
{
    static const std::regex stamped(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}(Z|[+-]\d\d:\d\d)  (.*?)\r?$)");
    Lines found;
    std::smatch match;
    for (size_t start = 0, end; (end = content.find('\n', start)) != std::string::npos; start = end + 1)
    {
        const std::string line = content.substr(start, end - start);
        if (std::regex_match(line, match, stamped))
            found.push_back(match[2]);
    }
    return found;
}

class LogFile : public testing::Test
{
protected:
    void SetUp() override { PlatformUtils::setSettingsFolder(temp.file("settings")); }
    void TearDown() override
    {
        Log::stop();
        PlatformUtils::setSettingsFolder("");
    }

    std::string content() const { return temp.read("settings/log.txt"); }

    TempFolder temp;
};

TEST_F(LogFile, OpensAtTheFirstLineWithOneWelcomePerOpening)
{
    Log::write("before start");
    Log::start();
    EXPECT_FALSE(temp.exists("settings"));

    Log::write("one");
    // An open log stays where it was opened.
    PlatformUtils::setSettingsFolder(temp.file("elsewhere"));
    Log::write("two");
    EXPECT_EQ(count(content(), welcome), 1u);

    Log::stop();
    Log::write("while stopped");
    PlatformUtils::setSettingsFolder(temp.file("settings"));
    Log::start();
    Log::write("three");
    const std::string text = content();
    EXPECT_EQ(count(text, welcome), 2u);
    EXPECT_EQ(messages(text), (Lines{"one", "two", "three"}));
    EXPECT_FALSE(temp.exists("elsewhere"));
}

TEST_F(LogFile, LargeLogIsCutAtALineBreakSmallOneKept)
{
    const std::string small = "earlier run\r\n";
    testSupport::writeFile(temp.file("settings/log.txt"), small);
    Log::start();
    Log::write("kept");
    EXPECT_EQ(content().compare(0, small.size(), small), 0);
    Log::stop();

    std::string large;
    for (int i = 0; large.size() <= 300000; ++i)
        large += "old line " + std::to_string(i) + " " + std::string(80, 'x') + "\r\n";
    testSupport::writeFile(temp.file("settings/log.txt"), large);
    Log::start();
    Log::write("fresh");
    const std::string text = content();
    const std::string kept = large.substr(large.find_first_of("\r\n", large.size() - 262144));
    EXPECT_EQ(text.compare(0, kept.size(), kept), 0);
    EXPECT_EQ(text.compare(kept.size(), 3, "\r\n*"), 0);
    EXPECT_EQ(messages(text), Lines{"fresh"});
}

TEST_F(LogFile, LinesFromTwoThreadsStayWhole)
{
    constexpr int linesEach = 300;
    Log::start();
    auto writer = [](char letter) {
        for (int i = 0; i < linesEach; ++i)
            Log::write(std::string(1, letter) + std::to_string(i) + " " + std::string(150, letter));
    };
    std::thread first(writer, 'a');
    std::thread second(writer, 'b');
    first.join();
    second.join();

    const std::string text = content();
    EXPECT_EQ(count(text, welcome), 1u);
    const Lines written = messages(text);
    ASSERT_EQ(written.size(), 2u * linesEach);
    EXPECT_EQ(std::set<std::string>(written.begin(), written.end()).size(), written.size());
    for (const std::string& message : written)
        EXPECT_EQ(message.substr(message.find(' ') + 1), std::string(150, message.front())) << message;
}

TEST_F(LogFile, UnwritablePlaceLosesLinesQuietly)
{
    temp.write("plain-file", "not a folder");
    PlatformUtils::setSettingsFolder(temp.file("plain-file/settings"));
    Log::start();
    Log::write("lost");
    EXPECT_EQ(temp.read("plain-file"), "not a folder");
}
}
