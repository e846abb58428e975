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

namespace
{
const std::string welcome = "VYR Plugin Manager 2.2.27";

size_t count(const std::string& text, const std::string& part)
{
    size_t found = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
        ++found;
    return found;
}

// The messages of the lines Log::write produced, in file order; the welcome block's lines have
// no time stamp and are left out.
std::vector<std::string> loggedMessages(const std::string& content)
{
    static const std::regex stamped(R"(^\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2}\.\d{3}(Z|[+-]\d{2}:\d{2})  (.*?)\r?$)");
    std::vector<std::string> messages;
    size_t start = 0;
    for (auto end = content.find('\n'); end != std::string::npos; end = content.find('\n', start))
    {
        std::smatch match;
        const std::string line = content.substr(start, end - start);
        if (std::regex_match(line, match, stamped))
            messages.push_back(match[2]);
        start = end + 1;
    }
    return messages;
}

class LogFile : public testing::Test
{
protected:
    void SetUp() override
    {
        Log::stop();
        PlatformUtils::setSettingsFolder(settings);
    }

    void TearDown() override
    {
        Log::stop();
        PlatformUtils::setSettingsFolder("");
    }

    std::string content() const { return testSupport::readFile(logPath); }

    TempFolder temp;
    const std::string settings = temp.file("settings");
    const std::string logPath = settings + "/log.txt";
};

TEST_F(LogFile, NoFileUntilTheFirstLineAfterStart)
{
    Log::write("before start");
    EXPECT_FALSE(temp.exists("settings"));
    Log::start();
    EXPECT_FALSE(temp.exists("settings"));

    Log::write("first");
    Log::write("second\nwith a break of its own");
    const std::string text = content();
    EXPECT_EQ(count(text, welcome), 1u);
    EXPECT_LT(text.find(welcome), text.find("first"));
    EXPECT_EQ(loggedMessages(text), (std::vector<std::string>{"first", "second"}));
    EXPECT_NE(text.find("  second\nwith a break of its own\r\n"), std::string::npos);
    EXPECT_EQ(text.find("before start"), std::string::npos);
}

TEST_F(LogFile, EveryOpeningWritesItsOwnWelcome)
{
    Log::start();
    Log::write("one");
    Log::stop();
    Log::write("dropped while stopped");
    EXPECT_EQ(count(content(), welcome), 1u);

    Log::start();
    Log::write("two");
    const std::string text = content();
    EXPECT_EQ(count(text, welcome), 2u);
    EXPECT_EQ(loggedMessages(text), (std::vector<std::string>{"one", "two"}));
}

TEST_F(LogFile, OpenLogStaysWhereItWasOpened)
{
    Log::start();
    Log::write("here");
    PlatformUtils::setSettingsFolder(temp.file("elsewhere"));
    Log::write("still here");
    EXPECT_EQ(loggedMessages(content()), (std::vector<std::string>{"here", "still here"}));
    EXPECT_FALSE(temp.exists("elsewhere"));
}

TEST_F(LogFile, LargeLogIsCutAtALineBreakWhenOpened)
{
    std::string old;
    for (int i = 0; old.size() <= 300000; ++i)
        old += "old line " + std::to_string(i) + " " + std::string(80, 'x') + "\r\n";
    testSupport::writeFile(logPath, old);

    Log::start();
    const std::string untouched = content();
    EXPECT_EQ(untouched, old);
    Log::write("fresh");

    const std::string text = content();
    // The kept part begins with the first line break at or after the last 262144 bytes.
    const std::string kept = old.substr(old.find_first_of("\r\n", old.size() - 262144));
    EXPECT_EQ(text.compare(0, kept.size(), kept), 0);
    EXPECT_EQ(text.compare(kept.size(), 3, "\r\n*"), 0);
    EXPECT_EQ(count(text, welcome), 1u);
    EXPECT_LT(text.size(), 262144u + 500u);
    EXPECT_EQ(loggedMessages(text), std::vector<std::string>{"fresh"});
}

TEST_F(LogFile, SmallLogIsKeptWholeAndAppendedTo)
{
    const std::string old = "2024-01-01T10:00:00.000Z  earlier run\r\n";
    testSupport::writeFile(logPath, old);
    Log::start();
    Log::write("this run");
    const std::string text = content();
    EXPECT_EQ(text.compare(0, old.size(), old), 0);
    EXPECT_EQ(loggedMessages(text), (std::vector<std::string>{"earlier run", "this run"}));
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
    const std::vector<std::string> messages = loggedMessages(text);
    ASSERT_EQ(messages.size(), 2u * linesEach);
    std::set<std::string> distinct(messages.begin(), messages.end());
    EXPECT_EQ(distinct.size(), messages.size());
    for (const std::string& message : messages)
    {
        const char letter = message.front();
        EXPECT_EQ(message.substr(message.find(' ') + 1), std::string(150, letter)) << message;
    }
}

TEST_F(LogFile, UnwritablePlaceLosesLinesQuietly)
{
    temp.write("plain-file", "not a folder");
    PlatformUtils::setSettingsFolder(temp.file("plain-file/settings"));
    Log::start();
    Log::write("lost");
    Log::write("lost too");
    EXPECT_EQ(temp.read("plain-file"), "not a folder");
}
}
