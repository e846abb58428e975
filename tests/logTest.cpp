#include "manager/platform/log.h"

#include "httpFixture.h"

using namespace pluginManager;

// Nothing is written before the first line, and then a large log is cut at a line break; an open
// log stays where it was opened. Each opening starts with one welcome block.
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
    const std::string kept = large.substr(large.find('\r', large.size() - 262144));
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

    const std::string log = temp.read("settings/log.txt"), blocks = log.substr(log.find("\r\n*"));
    const std::string welcome = R"(\r\n\*+\r\nVYR Plugin Manager 2\.2\.27\r\nLog started: .+\r\n\r\n)";
    const std::string stamp = R"(\d{4}-\d\d-\d\dT\S+  )";
    EXPECT_TRUE(std::regex_match(
        blocks, std::regex(welcome + stamp + "one\r\n" + stamp + "two\r\n" + welcome + stamp + "three\r\n")))
        << blocks;
}
