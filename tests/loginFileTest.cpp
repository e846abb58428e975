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
// encoding shows up as a failure instead of a round trip that still agrees with itself.
TEST(LoginFileMask, EmptySaltUsesTheKeyAlone)
{
    EXPECT_EQ(LoginFile::hide("secret", ""), "PAQIFws4");
    EXPECT_EQ(LoginFile::reveal("PAQIFws4", ""), "secret");
}

TEST(LoginFileMask, OneByteSaltMasksEveryByte)
{
    EXPECT_EQ(LoginFile::hide("secret", "x"), "RHxwb3NA");
    EXPECT_EQ(LoginFile::reveal("RHxwb3NA", "x"), "secret");
}

TEST(LoginFileMask, KeyAndSaltRepeatPastTheirLength)
{
    const std::string password = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGH";
    ASSERT_GT(password.size(), 36u);
    const std::string hidden = "Gz83Ny4WJSp2OnxjT2pnazx2bnA0flBofXptVGZvYiogcWVmakxGQF9lVFU=";
    EXPECT_EQ(LoginFile::hide(password, "donators:foo"), hidden);
    EXPECT_EQ(LoginFile::reveal(hidden, "donators:foo"), password);
}

TEST(LoginFileMask, EmptyTextStaysEmpty)
{
    EXPECT_EQ(LoginFile::hide("", "internal"), "");
    EXPECT_EQ(LoginFile::reveal("", "internal"), "");
}

TEST(LoginFileMask, EveryByteValueSurvives)
{
    std::string bytes;
    for (int value = 0; value < 256; ++value)
        bytes.push_back(static_cast<char>(value));
    EXPECT_EQ(LoginFile::reveal(LoginFile::hide(bytes, "internal"), "internal"), bytes);
    // A byte equal to the key's own byte masks to 0; it must not end the text.
    EXPECT_EQ(LoginFile::reveal(LoginFile::hide("Oak", ""), ""), "Oak");
}

TEST(LoginFileMask, OtherSaltGivesOtherBytesNotAnError)
{
    const auto hidden = LoginFile::hide("hunter2", "internal");
    const auto revealed = LoginFile::reveal(hidden, "donators:foo");
    EXPECT_EQ(revealed.size(), 7u);
    EXPECT_NE(revealed, "hunter2");
}

TEST(LoginFileMask, InvalidBase64RevealsNothing)
{
    EXPECT_EQ(LoginFile::reveal("not base64!", ""), "");
    EXPECT_EQ(LoginFile::reveal("PAQ", ""), "");
    EXPECT_EQ(LoginFile::reveal("=AAA", ""), "");
}

TEST(LoginFileText, WritesOneLineInTheFixedOrder)
{
    const std::vector<SharedLogin> logins = {{"alpha", "ann", "pw-alpha"}, {"beta", "bob", "pw-beta"}};
    EXPECT_EQ(LoginFile::write(logins),
              "{\"vyrLogin\": 1, \"logins\": [{\"slug\": \"alpha\", \"user\": \"ann\", \"pw\": \"Xno2bGNdZX8=\"}, "
              "{\"slug\": \"beta\", \"user\": \"bob\", \"pw\": \"XXMyZmlddA==\"}]}");
    EXPECT_EQ(LoginFile::write({}), "");
}

TEST(LoginFileText, WritesEmptyFieldsAsTheyAre)
{
    EXPECT_EQ(LoginFile::write({{"", "", ""}}),
              "{\"vyrLogin\": 1, \"logins\": [{\"slug\": \"\", \"user\": \"\", \"pw\": \"\"}]}");
}

TEST(LoginFileText, RoundTrip)
{
    const std::vector<SharedLogin> logins = {{"foo", "user name", "p\xc3\xa4ss \"word\""}};
    std::vector<SharedLogin> parsed;
    ASSERT_TRUE(LoginFile::parse(LoginFile::write(logins), parsed));
    ASSERT_EQ(parsed.size(), 1u);
    EXPECT_EQ(parsed[0].slug, "foo");
    EXPECT_EQ(parsed[0].user, "user name");
    EXPECT_EQ(parsed[0].password, "p\xc3\xa4ss \"word\"");
}

TEST(LoginFileText, ReadsAHandWrittenText)
{
    const auto text = testSupport::readFile(std::string(VYRPM_FIXTURES_DIR) + "/state/sharedLogin.json");
    ASSERT_FALSE(text.empty());
    std::vector<SharedLogin> parsed;
    ASSERT_TRUE(LoginFile::parse(text, parsed));
    ASSERT_EQ(parsed.size(), 2u);
    EXPECT_EQ(parsed[0].slug, "alpha");
    EXPECT_EQ(parsed[0].user, "ann");
    EXPECT_EQ(parsed[0].password, "pw-alpha");
    EXPECT_EQ(parsed[1].slug, "beta");
    EXPECT_EQ(parsed[1].user, "bob");
    EXPECT_EQ(parsed[1].password, "pw-beta");
}

// A valid text padded with blanks inside the object to exactly the given size.
std::string paddedText(size_t size)
{
    const std::string head = "{\"vyrLogin\": 1, \"logins\": [{\"slug\": \"alpha\", \"user\": \"ann\", \"pw\": \"Xno2bGNdZX8=\"}]";
    std::string text = head;
    text.append(size - head.size() - 1, ' ');
    text += "}";
    return text;
}

TEST(LoginFileText, SizeLimitIs65536Bytes)
{
    std::vector<SharedLogin> parsed;
    EXPECT_TRUE(LoginFile::parse(paddedText(65536), parsed));
    EXPECT_EQ(parsed.size(), 1u);
    EXPECT_FALSE(LoginFile::parse(paddedText(65537), parsed));
    EXPECT_TRUE(parsed.empty());
    EXPECT_FALSE(LoginFile::parse("", parsed));
}

TEST(LoginFileText, RefusesOtherVersionsAndShapes)
{
    const std::vector<std::string> refused = {
        "{\"vyrLogin\": 2, \"logins\": [{\"slug\": \"alpha\", \"user\": \"ann\", \"pw\": \"Xno2bGNdZX8=\"}]}",
        "{\"logins\": [{\"slug\": \"alpha\", \"user\": \"ann\", \"pw\": \"Xno2bGNdZX8=\"}]}",
        "{\"vyrLogin\": 1, \"logins\": {\"slug\": \"alpha\", \"user\": \"ann\", \"pw\": \"Xno2bGNdZX8=\"}}",
        "{\"vyrLogin\": 1, \"logins\": []}",
        "[{\"vyrLogin\": 1}]",
        "{\"vyrLogin\": 1, \"logins\": [",
        "vyrLogin",
    };
    for (const auto& text : refused)
    {
        std::vector<SharedLogin> parsed = {{"stale", "stale", "stale"}};
        EXPECT_FALSE(LoginFile::parse(text, parsed)) << text;
        EXPECT_TRUE(parsed.empty()) << text;
    }
}

TEST(LoginFileText, OneBadEntrySpoilsTheWholeText)
{
    const std::string good = "{\"slug\": \"alpha\", \"user\": \"ann\", \"pw\": \"Xno2bGNdZX8=\"}";
    const std::vector<std::string> bad = {
        "{\"slug\": \"beta\", \"user\": \"\", \"pw\": \"XXMyZmlddA==\"}",
        "{\"slug\": \"\", \"user\": \"bob\", \"pw\": \"XXMyZmlddA==\"}",
        "{\"slug\": \"beta\", \"user\": \"bob\", \"pw\": \"not base64!\"}",
        "{\"slug\": \"beta\", \"user\": \"bob\", \"pw\": \"\"}",
        "{\"slug\": \"beta\", \"user\": \"bob\"}",
        "42",
    };
    for (const auto& entry : bad)
    {
        const auto text = "{\"vyrLogin\": 1, \"logins\": [" + good + ", " + entry + "]}";
        std::vector<SharedLogin> parsed;
        EXPECT_FALSE(LoginFile::parse(text, parsed)) << entry;
        EXPECT_TRUE(parsed.empty()) << entry;
    }
}
}
