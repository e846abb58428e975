#include "manager/logins/loginFile.h"

#include "support/tempFolder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace pluginManager;

namespace
{
// Masked values worked out by hand from the mask rule, so that a change of key, order or
// encoding fails here instead of round-tripping with itself.
TEST(LoginFileMask, KnownValues)
{
    const std::string cases[][3] = {
        {"secret", "", "PAQIFws4"},
        {"secret", "x", "RHxwb3NA"},
        {"", "internal", ""},
        // Past 36 bytes the key starts again; the salt repeats every 12.
        {"0123456789abcdefghijklmnopqrstuvwxyzABCDEFGH", "donators:foo",
         "Gz83Ny4WJSp2OnxjT2pnazx2bnA0flBofXptVGZvYiogcWVmakxGQF9lVFU="},
    };
    for (const auto& [text, salt, hidden] : cases)
    {
        EXPECT_EQ(LoginFile::hide(text, salt), hidden) << text;
        EXPECT_EQ(LoginFile::reveal(hidden, salt), text) << text;
    }
}

TEST(LoginFileMask, AnyBytesSurviveAndBadInputRevealsNothing)
{
    std::string bytes;
    for (int value = 0; value < 256; ++value)
        bytes.push_back(static_cast<char>(value));
    EXPECT_EQ(LoginFile::reveal(LoginFile::hide(bytes, "internal"), "internal"), bytes);
    // Masks to zero bytes, which must not end the text.
    EXPECT_EQ(LoginFile::reveal(LoginFile::hide("Oak", ""), ""), "Oak");

    const auto otherSalt = LoginFile::reveal(LoginFile::hide("hunter2", "internal"), "donators:foo");
    EXPECT_EQ(otherSalt.size(), 7u);
    EXPECT_NE(otherSalt, "hunter2");
    for (const char* bad : {"not base64!", "PAQ", "=AAA"})
        EXPECT_EQ(LoginFile::reveal(bad, ""), "") << bad;
}

TEST(LoginFileText, WritesOneLineInTheFixedOrderAndReadsItBack)
{
    const std::vector<SharedLogin> logins = {{"alpha", "ann", "pw-alpha"}, {"beta", "bob", "pw-beta"}};
    const std::string text =
        "{\"vyrLogin\": 1, \"logins\": [{\"slug\": \"alpha\", \"user\": \"ann\", \"pw\": \"Xno2bGNdZX8=\"}, "
        "{\"slug\": \"beta\", \"user\": \"bob\", \"pw\": \"XXMyZmlddA==\"}]}";
    EXPECT_EQ(LoginFile::write(logins), text);
    EXPECT_EQ(LoginFile::write({}), "");

    std::vector<SharedLogin> parsed;
    ASSERT_TRUE(LoginFile::parse(text, parsed));
    ASSERT_EQ(parsed.size(), 2u);
    EXPECT_EQ(parsed[1].slug + parsed[1].user + parsed[1].password, "betabobpw-beta");
}

// Anything refused leaves the list empty, also when good entries came before the fault.
TEST(LoginFileText, AllOrNothing)
{
    const std::string good = "{\"slug\": \"alpha\", \"user\": \"ann\", \"pw\": \"Xno2bGNdZX8=\"}";
    const std::string v1 = "{\"vyrLogin\": 1, \"logins\": ";
    const auto after = [&](const std::string& bad) { return v1 + "[" + good + ", " + bad + "]}"; };
    const auto padded = [&](size_t size)
    { return v1 + "[" + good + "]" + std::string(size - v1.size() - good.size() - 3, ' ') + "}"; };
    // A text of up to 65536 bytes is read.
    std::vector<SharedLogin> parsed;
    EXPECT_TRUE(LoginFile::parse(padded(65536), parsed));
    const std::string refused[] = {
        padded(65537),
        "",
        "[{\"vyrLogin\": 1}]",
        v1 + "[" + good + "}",
        "{\"vyrLogin\": 2, \"logins\": [" + good + "]}",
        "{\"logins\": [" + good + "]}",
        "{\"vyrLogin\": 4294967297, \"logins\": [" + good + "]}",
        v1 + good + "}",
        v1 + "[]}",
        after("{\"slug\": \"b\", \"user\": \"\", \"pw\": \"XXMyZmlddA==\"}"),
        after("{\"slug\": \"\", \"user\": \"bob\", \"pw\": \"XXMyZmlddA==\"}"),
        after("{\"slug\": \"b\", \"user\": \"bob\", \"pw\": \"not base64!\"}"),
        after("42"),
        // Within the size limit, but nested far too deep for the parser.
        std::string(65023, '['),
    };
    for (const auto& bad : refused)
    {
        parsed = {{"stale", "stale", "stale"}};
        EXPECT_FALSE(LoginFile::parse(bad, parsed)) << bad.substr(0, 80);
        EXPECT_TRUE(parsed.empty()) << bad.substr(0, 80);
    }
}
}
