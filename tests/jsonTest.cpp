#include "manager/platform/json.h"

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
}
