#include "manager/platform/xml.h"

#include <gtest/gtest.h>

using pluginManager::maxXmlNesting;

namespace
{
std::string repeated(const std::string& text, int times)
{
    std::string result;
    for (int i = 0; i < times; ++i)
        result += text;
    return result;
}

std::string nested(int levels) { return repeated("<a>", levels) + repeated("</a>", levels); }

// Markup inside comments, quotes and instructions opens no level, and elements side by side are
// no deeper than one; but a quote the parser gives up on hides nothing after it.
TEST(Xml, NestingIsBoundedWhereTheParserWouldDescend)
{
    const std::pair<std::string, bool> cases[] = {
        {nested(maxXmlNesting), true}, {nested(maxXmlNesting + 1), false}, {repeated("<a>", 200000), false},
        {"<?xml version=\"1.0\"?>\n<!-- " + repeated("<a>", 600) + " --><r x=\"" + repeated("<a>", 600) + "\"><?p " +
             repeated("<a>", 600) + "?>" + repeated("<b/>", 600) + "</r>", true},
        {"<r>&<x y=\";" + nested(maxXmlNesting) + "</r>", false},
        // Entities a declaration defines could expand to any depth.
        {"<!DOCTYPE r [<!ENTITY e \"x\">]><r>&e;</r>", false},
        // Past the end of the text the parser would read memory that is not the text's, and it
        // would never come to the end of the next one.
        {"<r>&#x", false}, {"<r><?p?>x</r>", false}, {"", false}, {"<r>", false},
    };
    for (const auto& [text, accepted] : cases)
    {
        std::unique_ptr<juce::XmlElement> root(new juce::XmlElement("stale"));
        EXPECT_EQ(pluginManager::parseXml(text, root), accepted) << text.substr(0, 40);
        EXPECT_EQ(root != nullptr, accepted) << text.substr(0, 40);
    }
}
}
