#include "manager/platform/json.h"
#include "manager/platform/storedFile.h"

#include <gtest/gtest.h>

#include <tuple>

using pluginManager::maxJsonNesting;

namespace
{
std::string nested(int levels, const std::string& inside = "")
{
    return std::string(size_t(levels), '[') + inside + std::string(size_t(levels), ']');
}

// Brackets inside quoted texts open no level, also after an escaped quote; a quote where no value
// may begin hides nothing.
TEST(Json, NestingIsBoundedWhereTheParserWouldDescend)
{
    const std::string quoted = "[\"" + std::string(600, '[') + "\\\"\", '" + std::string(600, '{') + "']";
    // name, text, read
    const std::tuple<const char*, std::string, bool> cases[] = {
        {"512 levels", nested(maxJsonNesting), true}, {"513 levels", nested(maxJsonNesting + 1), false},
        {"512 levels in an object", "{\"a\": " + nested(maxJsonNesting - 1) + "}", true},
        {"513 levels in an object", "{\"a\": " + nested(maxJsonNesting) + "}", false},
        {"brackets in texts", quoted, true},
        {"brackets after an escaped quote", "[\"\\\"" + std::string(600, '[') + "\"]", true},
        {"quote after a minus", "[-\", " + nested(maxJsonNesting) + "]", false},
        {"200,000 open levels", std::string(200000, '['), false}, {"empty text", "", true}, {"cut short", "[1,", false},
    };
    for (const auto& [name, text, accepted] : cases)
    {
        SCOPED_TRACE(name);
        juce::var value = 1;
        EXPECT_EQ(pluginManager::parseJson(text, value), accepted);
        EXPECT_EQ(value.isArray() || value.isObject(), accepted && !text.empty());
    }
}

// The framework's reader would overflow on these (undefined behaviour); the numbers around them,
// and the rest of the text, read as before, from a server and from a stored file alike, and from a
// server where the parser takes space after the minus.
TEST(Json, NumbersTooLongForTheFrameworkReadAsMissingValues)
{
    const std::string text = R"([{"year": 99999999999999999999, "name": "x"}, -1234567890123456789.5, 1e1234567890, )"
                             "0.5e-1234567890, 123456789012345678, -9e99, 1.5E+300]";
    const std::string read = R"([{"year": null, "name": "x"}, null, null, null, 123456789012345678, -9.0e99, 1.5e300])";
    juce::var received, stored, lenient;
    std::string why;
    ASSERT_TRUE(pluginManager::parseJson(text, received) && pluginManager::parseStoredJson(text, stored, why) &&
                pluginManager::parseJson("[- 12345678901234567890, 'a']", lenient));
    EXPECT_EQ(juce::JSON::toString(received, true).toStdString(), read);
    EXPECT_EQ(juce::JSON::toString(stored, true).toStdString(), read);
    EXPECT_EQ(juce::JSON::toString(lenient, true).toStdString(), "[null, \"a\"]");
}

// A stored text counts only as a whole. The framework's parser would have read most refused texts,
// dropping part of them or reading other characters. It writes "\a", and a
// character beyond U+FFFF as two escaped halves, which are read back as that character. A text is
// refused with the bound it passes, else with the line where it stops being JSON.
TEST(Json, OnlyAWellFormedUtf8StoredTextWithinItsBoundsIsRead)
{
    const std::string padded = "[" + std::string(pluginManager::largestStoredFile - 2, ' ') + "]";
    // An object with as many distinct names as a text may hold.
    std::string named = "[{\"k0\": 1";
    for (size_t i = 1; i < pluginManager::maxJsonNames; ++i)
        named += ", \"k" + std::to_string(i) + "\": 1";
    const std::string bad = "not JSON at line 1", notUtf8 = "not UTF-8 text", levels = "more than 512 levels";
    // name, text, why it is refused ("" for read)
    const std::tuple<const char*, std::string, std::string> cases[] = {
        {"all that may stand in a file",
         "\xEF\xBB\xBF [{\"a\": \"\\a\\t\\u00e9\\ud83d\\ude00\", \"b\": [true, false, null, -0.5e3]}]\r\n", ""},
        {"two values", "[1][2]", bad}, {"text after the value", "[1]\r\n x", "not JSON at line 2"},
        {"single quotes", "['a']", bad}, {"comma before the end", "[1,]", bad}, {"leading zero", "[01]", bad},
        {"point without digits", "[1.]", bad}, {"no digit before the point", "[.5]", bad},
        {"bare control character", "[\"\x01\"]", bad}, {"escaped NUL", "[\"\\u0000\"]", bad},
        {"high half alone", "[\"\\ud83d\"]", bad}, {"low half alone", "[\"\\ude00\"]", bad},
        {"two low halves", "[\"\\udc00\\udc00\"]", bad}, {"high half and a letter", "[\"\\ud83d\\u0041\"]", bad},
        {"unknown escape", "[\"\\x\"]", bad}, {"Latin-1", "[\"caf\xe9\"]", notUtf8},
        {"overlong UTF-8", "[\"\xC0\xAE\"]", notUtf8}, {"empty text", "", "an empty file"}, {"space alone", " ", bad},
        {"1 MiB", padded, ""}, {"1 MiB and one byte", " " + padded, "larger than 1 MiB"},
        {"512 levels", nested(maxJsonNesting), ""}, {"513 levels", nested(maxJsonNesting + 1), levels},
        {"513 levels of objects", "[" + juce::String::repeatedString("{\"a\": ", maxJsonNesting).toStdString() + "1" +
                                      std::string(size_t(maxJsonNesting), '}') + "]", levels},
        {"128 names", named + "}]", ""}, {"129 names", named + ", \"one more\": 1}]", "more than 128 names"}};
    juce::var value;
    for (const auto& [name, text, why] : cases)
    {
        SCOPED_TRACE(name);
        std::string refused;
        EXPECT_EQ(pluginManager::parseStoredJson(text, value, refused) && value.isArray(), why.empty());
        EXPECT_EQ(refused, why);
    }
    std::string why;
    ASSERT_TRUE(pluginManager::parseStoredJson(std::get<1>(cases[0]), value, why));
    EXPECT_EQ(value[0]["a"].toString().toStdString(), "\a\t\xC3\xA9\xF0\x9F\x98\x80");
}
}
