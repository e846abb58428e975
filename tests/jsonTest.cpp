#include "manager/platform/json.h"
#include "manager/platform/storedFile.h"

#include <gtest/gtest.h>

using pluginManager::maxJsonNesting;

namespace
{
std::string nested(int levels, const std::string& inside = "")
{
    return std::string(size_t(levels), '[') + inside + std::string(size_t(levels), ']');
}

// Brackets inside quoted texts open no level; a quote where no value may begin hides nothing.
TEST(Json, NestingIsBoundedWhereTheParserWouldDescend)
{
    const std::string quoted = "[\"" + std::string(600, '[') + "\\\"\", '" + std::string(600, '{') + "']";
    const std::pair<std::string, bool> cases[] = {
        {nested(maxJsonNesting), true}, {nested(maxJsonNesting + 1), false},
        {"{\"a\": " + nested(maxJsonNesting - 1) + "}", true}, {"{\"a\": " + nested(maxJsonNesting) + "}", false},
        {quoted, true}, {"[-\", " + nested(maxJsonNesting) + "]", false}, {std::string(200000, '['), false},
        {"", true}, {"[1,", false},
    };
    for (const auto& [text, accepted] : cases)
    {
        juce::var value = 1;
        EXPECT_EQ(pluginManager::parseJson(text, value), accepted) << text.substr(0, 40);
        EXPECT_EQ(value.isArray() || value.isObject(), accepted && !text.empty()) << text.substr(0, 40);
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
    ASSERT_TRUE(pluginManager::parseJson(text, received) && pluginManager::parseStoredJson(text, stored) &&
                pluginManager::parseJson("[- 12345678901234567890, 'a']", lenient));
    EXPECT_EQ(juce::JSON::toString(received, true).toStdString(), read);
    EXPECT_EQ(juce::JSON::toString(stored, true).toStdString(), read);
    EXPECT_EQ(juce::JSON::toString(lenient, true).toStdString(), "[null, \"a\"]");
}

// A stored text counts only as a whole. The framework's parser would have read every refused text
// but the last four, dropping part of it or reading other characters. It writes "\a", and a
// character beyond U+FFFF as two escaped halves, which are read back as that character.
TEST(Json, OnlyAWellFormedUtf8StoredTextWithinItsBoundsIsRead)
{
    const std::string padded = "[" + std::string(pluginManager::largestStoredFile - 2, ' ') + "]";
    // An object with as many distinct names as a text may hold.
    std::string named = "[{\"k0\": 1";
    for (size_t i = 1; i < pluginManager::maxJsonNames; ++i)
        named += ", \"k" + std::to_string(i) + "\": 1";
    const std::pair<std::string, bool> cases[] = {
        {"\xEF\xBB\xBF [{\"a\": \"\\a\\t\\u00e9\\ud83d\\ude00\", \"b\": [true, false, null, -0.5e3]}]\r\n", true},
        {"[1][2]", false}, {"[1] x", false}, {"['a']", false}, {"[1,]", false}, {"[01]", false}, {"[1.]", false},
        {"[.5]", false}, {"[\"\x01\"]", false}, {"[\"\\ud83d\"]", false}, {"[\"\\ude00\"]", false},
        {"[\"\\x\"]", false}, {"[\"caf\xe9\"]", false}, {"[\"\xC0\xAE\"]", false}, {"", false}, {" ", false},
        {padded, true}, {" " + padded, false}, {nested(maxJsonNesting), true}, {nested(maxJsonNesting + 1), false},
        {named + "}]", true}, {named + ", \"one more\": 1}]", false}};
    juce::var value;
    for (const auto& [text, accepted] : cases)
        EXPECT_EQ(pluginManager::parseStoredJson(text, value) && value.isArray(), accepted) << text.substr(0, 40);
    ASSERT_TRUE(pluginManager::parseStoredJson(cases[0].first, value));
    EXPECT_EQ(value[0]["a"].toString().toStdString(), "\a\t\xC3\xA9\xF0\x9F\x98\x80");
}
}
