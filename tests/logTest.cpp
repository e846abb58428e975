#include "manager/platform/log.h"

#include "manager/platform/platformUtils.h"

#include "support/tempFolder.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using pluginManager::Log;
using pluginManager::PlatformUtils;
using testSupport::TempFolder;
using Lines = std::vector<std::string>;

namespace
{
// In file order: "welcome" for each welcome block, and the message of each time-stamped line.
Lines messages(const std::string& content)
{
    static const std::regex stamped(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}(Z|[+-]\d\d:\d\d)  (.*?)\r?$)");
    Lines found;
    std::smatch match;
    std::istringstream lines(content);
    for (std::string line; std::getline(lines, line);)
        if (line == "VYR Plugin Manager 2.2.27\r")
            found.push_back("welcome");
        else if (std::regex_match(line, match, stamped))
            found.push_back(match[2]);
    return found;
}

class LogFile : public testing::Test
{
protected:
    void SetUp() override { PlatformUtils::setSettingsFolder(temp.file("settings")); }
    void TearDown() override { Log::stop(); PlatformUtils::setSettingsFolder(""); }

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
    Log::stop();
    Log::write("while stopped");
    PlatformUtils::setSettingsFolder(temp.file("settings"));
    Log::start();
    Log::write("three");
    EXPECT_EQ(messages(content()), (Lines{"welcome", "one", "two", "welcome", "three"}));
    EXPECT_FALSE(temp.exists("elsewhere"));
}

TEST_F(LogFile, LargeLogIsCutAtALineBreakWhenARunOpensIt)
{
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
    EXPECT_EQ(messages(text), (Lines{"welcome", "fresh"}));
}

TEST_F(LogFile, LinesFromTwoThreadsStayWhole)
{
    constexpr size_t linesEach = 300;
    Log::start();
    auto writer = [](char letter) {
        for (size_t i = 0; i < linesEach; ++i)
            Log::write(std::string(1, letter) + std::to_string(i) + " " + std::string(150, letter));
    };
    std::thread first(writer, 'a'), second(writer, 'b');
    first.join();
    second.join();

    const Lines written = messages(content());
    ASSERT_EQ(written.size(), 2 * linesEach + 1);
    EXPECT_EQ(written[0], "welcome");
    EXPECT_EQ(std::set<std::string>(written.begin() + 1, written.end()).size(), 2 * linesEach);
    for (size_t i = 1; i < written.size(); ++i)
        EXPECT_EQ(written[i].substr(written[i].find(' ') + 1), std::string(150, written[i].front())) << written[i];
}
}
