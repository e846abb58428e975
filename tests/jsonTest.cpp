#include "manager/platform/json.h"
#include "manager/platform/storedFile.h"

#include <gtest/gtest.h>

using pluginManager::maxJsonNames;
using pluginManager::maxJsonNesting;

namespace
{
std::string nested(int levels, const std::string& inside = "")
{
    return std::string(size_t(levels), '[') + inside + std::string(size_t(levels), ']');
}

// An object with names distinct members.
std::string named(size_t names)
{
    std::string object = "{";
    for (size_t i = 0; i < names; ++i)
        object += (i == 0 ? "\"k" : ", \"k") + std::to_string(i) + "\": 1";
    return object + "}";
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
// and the rest of the text, read as before, from a server and from a stored file alike.
TEST(Json, NumbersTooLongForTheFrameworkReadAsMissingValues)
{
    const std::pair<std::string, std::string> cases[] = {
        {R"({"year": 99999999999999999999, "name": "x"})", R"({"year": null, "name": "x"})"},
        {"[-1234567890123456789.5, 1e1234567890, 0.5e-1234567890, 123456789012345678, -9e99, 1.5E+300]",
         "[null, null, null, 123456789012345678, -9.0e99, 1.5e300]"},
    };
    for (const auto& [text, read] : cases)
    {
        juce::var received, stored;
        EXPECT_TRUE(pluginManager::parseJson(text, received) && pluginManager::parseStoredJson(text, stored)) << text;
        EXPECT_EQ(juce::JSON::toString(received, true).toStdString(), read);
        EXPECT_EQ(juce::JSON::toString(stored, true).toStdString(), read);
    }
    juce::var lenient;
    EXPECT_TRUE(pluginManager::parseJson("[- 12345678901234567890, 'a']", lenient));
    EXPECT_EQ(juce::JSON::toString(lenient, true).toStdString(), "[null, \"a\"]");
}

// A stored text counts only as a whole. The framework's parser would have read every refused text
// but the last four, dropping part of it or reading other characters. It writes "\a", and a
// character beyond U+FFFF as two escaped halves, which are read back as that character.
TEST(Json, OnlyAWellFormedUtf8StoredTextWithinItsBoundsIsRead)
{
    const std::string padded = "[" + std::string(pluginManager::largestStoredFile - 2, ' ') + "]";
    const std::pair<std::string, bool> cases[] = {
        {"\xEF\xBB\xBF [{\"a\": \"\\a\\t\\u00e9\\ud83d\\ude00\", \"b\": [true, false, null, -0.5e3]}]\r\n", true},
        {"[1][2]", false}, {"[1] x", false}, {"['a']", false}, {"[1,]", false}, {"{\"a\" 1}", false},
        {"[01]", false}, {"[1.]", false}, {"[.5]", false}, {"[+1]", false}, {"[tru]", false},
        {"[\"\x01\"]", false}, {"[\"\\u0000\"]", false}, {"[\"\\ud83d\"]", false}, {"[\"\\ude00\\ud83d\"]", false},
        {"[\"\\x\"]", false}, {"[\"caf\xe9\"]", false}, {"[\"\xC0\xAE\"]", false},
        {padded, true}, {" " + padded, false}, {"[" + named(maxJsonNames) + "]", true},
        {"[" + named(maxJsonNames + 1) + "]", false}, {nested(maxJsonNesting), true},
        {nested(maxJsonNesting + 1), false}, {"", false}, {" ", false},
    };
    for (const auto& [text, accepted] : cases)
    {
        juce::var value = 1;
        EXPECT_EQ(pluginManager::parseStoredJson(text, value), accepted) << text.substr(0, 40);
        EXPECT_EQ(value.isArray(), accepted) << text.substr(0, 40);
    }
    juce::var value;
    ASSERT_TRUE(pluginManager::parseStoredJson(cases[0].first, value));
    EXPECT_EQ(value[0]["a"].toString().toStdString(), "\a\t\xC3\xA9\xF0\x9F\x98\x80");
}
}
