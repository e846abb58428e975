#include "manager/platform/plainName.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace pluginManager;

TEST(PlainName, IsOneItemInsideAFolderAndIsShownWithoutControlCharacters)
{
    // name, whether it is plain, what is shown of it
    const std::tuple<std::string, bool, std::string> cases[] = {
        // Only a name that is a folder step, or begins with "~", leads elsewhere.
        {"Aurora FX-1.0", true, "Aurora FX-1.0"}, {"...vst3", true, "...vst3"}, {".hidden", true, ".hidden"},
        {"a~", true, "a~"}, {"", false, ""}, {".", false, "."}, {"..", false, ".."}, {"~", false, "~"},
        {"~root", false, "~root"}, {"/home/me", false, "/home/me"}, {"..\\..", false, "..\\.."},
        // Letters and a no-break space are no control characters.
        {"\xc3\xa9t\xc3\xa9\xc2\xa0", true, "\xc3\xa9t\xc3\xa9\xc2\xa0"},
        {"a\tb\nc\r", false, "abc"}, {"\x1b]0;title\x07name\x7f", false, "]0;titlename"},
        {std::string("a\0b", 3), false, "ab"},
        {"a\xc2\x9b" "31mb", false, "a31mb"}, // the one-character form of the escape that sets colours
    };
    for (const auto& [name, plain, shown] : cases)
    {
        SCOPED_TRACE(testing::PrintToString(name));
        EXPECT_EQ(isPlainName(name), plain);
        EXPECT_EQ(withoutControlCharacters(name), shown);
        EXPECT_EQ(holdsControlCharacter(name), shown != name);
    }
}
