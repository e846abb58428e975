#include "manager/loginFile.h"

#include "support/tempFolder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using pluginManager::LoginFile;
using pluginManager::SharedLogin;

namespace
{
// Masked values worked out by hand from the mask rule, so that a change of key, order or
// encoding fails here instead of round-tripping with itself.
TEST(LoginFileMask, KnownValues)
{
    struct Case
    {
        std::string text, salt, hidden;
    };
    const Case cases[] = {
        {"secret", "", "PAQIFws4"},
        {"secret", "x", "RHxwb3NA"},
        {"", "internal", ""},
        // Past 36 bytes the key starts again; the salt repeats every 12.
        {"0123456789abcdefghijklmnopqrstuvwxyzABCDEFGH", "donators:foo",
         "Gz83Ny4WJSp2OnxjT2pnazx2bnA0flBofXptVGZvYiogcWVmakxGQF9lVFU="},
    };
    for (const auto& c : cases)
    {
        EXPECT_EQ(LoginFile::hide(c.text, c.salt), c.hidden) << c.text;
        EXPECT_EQ(LoginFile::reveal(c.hidden, c.salt), c.text) << c.text;
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

TEST(LoginFileText, WritesOneLineInTheFixedOrder)
{
    EXPECT_EQ(LoginFile::write({{"alpha", "ann", "pw-alpha"}, {"beta", "bob", "pw-beta"}}),
              "{\"vyrLogin\": 1, \"logins\": [{\"slug\": \"alpha\", \"user\": \"ann\", \"pw\": \"Xno2bGNdZX8=\"}, "
              "{\"slug\": \"beta\", \"user\": \"bob\", \"pw\": \"XXMyZmlddA==\"}]}");
    EXPECT_EQ(LoginFile::write({{"", "", ""}}),
              "{\"vyrLogin\": 1, \"logins\": [{\"slug\": \"\", \"user\": \"\", \"pw\": \"\"}]}");
    EXPECT_EQ(LoginFile::write({}), "");
}

TEST(LoginFileText, ReadsWrittenAndHandWrittenTexts)
{
    std::vector<SharedLogin> parsed;
    ASSERT_TRUE(LoginFile::parse(LoginFile::write({{"foo", "user name", "p\xc3\xa4ss \"word\""}}), parsed));
    ASSERT_EQ(parsed.size(), 1u);
    EXPECT_EQ(parsed[0].slug, "foo");
    EXPECT_EQ(parsed[0].user, "user name");
    EXPECT_EQ(parsed[0].password, "p\xc3\xa4ss \"word\"");

    const auto text = testSupport::readFile(std::string(VYRPM_FIXTURES_DIR) + "/state/sharedLogin.json");
    ASSERT_TRUE(LoginFile::parse(text, parsed));
    ASSERT_EQ(parsed.size(), 2u);
    EXPECT_EQ(parsed[0].slug + " " + parsed[0].user + " " + parsed[0].password, "alpha ann pw-alpha");
    EXPECT_EQ(parsed[1].slug + " " + parsed[1].user + " " + parsed[1].password, "beta bob pw-beta");
}

TEST(LoginFileText, SizeLimitIs65536Bytes)
{
    const std::string head = "{\"vyrLogin\": 1, \"logins\": [{\"slug\": \"a\", \"user\": \"u\", \"pw\": \"Xno2\"}]";
    const auto padded = [&](size_t size) { return head + std::string(size - head.size() - 1, ' ') + "}"; };
    std::vector<SharedLogin> parsed;
    EXPECT_TRUE(LoginFile::parse(padded(65536), parsed));
    EXPECT_FALSE(LoginFile::parse(padded(65537), parsed));
    EXPECT_TRUE(parsed.empty());
}

TEST(LoginFileText, AllOrNothing)
{
    const std::string good = "{\"slug\": \"alpha\", \"user\": \"ann\", \"pw\": \"Xno2bGNdZX8=\"}";
    const auto text = [](const std::string& version, const std::string& logins)
    { return "{" + version + "\"logins\": " + logins + "}"; };
    const std::string refused[] = {
        "",
        "vyrLogin",
        "[{\"vyrLogin\": 1}]",
        text("\"vyrLogin\": 1, ", "[" + good),
        text("\"vyrLogin\": 2, ", "[" + good + "]"),
        text("", "[" + good + "]"),
        text("\"vyrLogin\": 1, ", good),
        text("\"vyrLogin\": 1, ", "[]"),
        // One bad entry spoils the good one before it.
        text("\"vyrLogin\": 1, ", "[" + good + ", {\"slug\": \"b\", \"user\": \"\", \"pw\": \"XXMyZmlddA==\"}]"),
        text("\"vyrLogin\": 1, ", "[" + good + ", {\"slug\": \"\", \"user\": \"bob\", \"pw\": \"XXMyZmlddA==\"}]"),
        text("\"vyrLogin\": 1, ", "[" + good + ", {\"slug\": \"b\", \"user\": \"bob\", \"pw\": \"not base64!\"}]"),
        text("\"vyrLogin\": 1, ", "[" + good + ", {\"slug\": \"b\", \"user\": \"bob\"}]"),
        text("\"vyrLogin\": 1, ", "[" + good + ", 42]"),
    };
    for (const auto& bad : refused)
    {
        std::vector<SharedLogin> parsed = {{"stale", "stale", "stale"}};
        EXPECT_FALSE(LoginFile::parse(bad, parsed)) << bad;
        EXPECT_TRUE(parsed.empty()) << bad;
    }
}
}
