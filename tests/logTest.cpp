#include "manager/platform/log.h"

#include "manager/platform/platformUtils.h"

#include "support/tempFolder.h"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>

using pluginManager::Log;
using pluginManager::PlatformUtils;
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

// Nothing is written before the first line, and then a large log is cut at a line break; an open
// log stays where it was opened.
TEST(LogFile, OpensAtTheFirstLineCutToSizeWithOneWelcomePerOpening)
{
    testSupport::TempFolder temp;
    PlatformUtils::setSettingsFolder(temp.file("settings"));
    Log::write("before start");
    Log::start();
    EXPECT_FALSE(temp.exists("settings"));
    std::string large;
    for (int i = 0; large.size() <= 300000; ++i)
        large += "old line " + std::to_string(i) + " " + std::string(80, 'x') + "\r\n";
    temp.write("settings/log.txt", large);
    Log::write("one");
    const std::string kept = large.substr(large.find_first_of("\r\n", large.size() - 262144));
    EXPECT_EQ(temp.read("settings/log.txt").substr(0, kept.size() + 3), kept + "\r\n*");
    PlatformUtils::setSettingsFolder(temp.file("elsewhere"));
    Log::write("two");
    Log::stop();
    Log::write("while stopped");
    PlatformUtils::setSettingsFolder(temp.file("settings"));
    Log::start();
    Log::write("three");
    Log::stop();
    PlatformUtils::setSettingsFolder("");

    EXPECT_EQ(messages(temp.read("settings/log.txt")), (Lines{"welcome", "one", "two", "welcome", "three"}));
    EXPECT_FALSE(temp.exists("elsewhere"));
}
}
