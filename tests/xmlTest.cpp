#include "manager/platform/storedFile.h"
#include "manager/platform/xml.h"

#include <gtest/gtest.h>

using pluginManager::maxXmlNesting;

namespace
{
std::string repeated(const std::string& text, size_t times)
{
    std::string result;
    for (size_t i = 0; i < times; ++i)
        result += text;
    return result;
}

std::string nested(size_t levels) { return repeated("<a>", levels) + repeated("</a>", levels); }

// A text counts only as a whole. The framework's parser would have read every refused text but
// the last five, dropping part of it or reading other characters. Markup in comments, values and
// instructions opens no level.
TEST(Xml, OnlyAWellFormedUtf8DocumentWithinItsBoundsIsRead)
{
    const std::string padded = "<r>" + std::string(pluginManager::largestStoredFile - 7, ' ') + "</r>";
    // An element with as many distinct names as a text may hold.
    std::string named = "<r";
    for (size_t i = 1; i < pluginManager::maxXmlNames; ++i)
        named += " a" + std::to_string(i) + "=\"\"";
    const std::pair<std::string, bool> cases[] = {
        {"\xEF\xBB\xBF<?xml version=\"1.0\"?>\n<!-- <a> --><r x='&lt;a>&amp;&quot;&apos;&gt;&#1;&#x1F600;'><!-- <a> -->"
         "<![CDATA[<a>]]><b/>j\xC3\xA9r\xC3\xB4me</r>\n<!-- after --><?p <a>?>\n", true},
        {"<login key=internal user=\"a\"/>", false}, {"<credentials/><login key=\"k\"/>", false},
        {"<r>a & b</r>", false}, {"<r x=\"a&b\"/>", false}, {"<r>&nbsp;</r>", false}, {"<r>\x01</r>", false},
        // Entity names are case-sensitive; references stand for characters the framework can hold.
        {"<r>&AMP;</r>", false}, {"<r>&#0;</r>", false}, {"<r>&#xD800;</r>", false}, {"<r>&#1114112;</r>", false},
        {"<r x=\"<\"/>", false}, {"<r a=\"1\" a=\"2\"/>", false}, {"<r></s>", false}, {"<r>]]></r>", false},
        {"<r><?p?>x</r>", false}, {"<r a=\"j\xE9r\xF4me\"/>", false}, {"<r>\xC0\xAE</r>", false},
        {padded, true}, {" " + padded, false}, {named + "/>", true}, {named + " z=\"\"/>", false},
        {"<r a='" + repeated("&amp;", pluginManager::longestXmlValue / 5) + "'/>", true},
        {"<r a='" + std::string(pluginManager::longestXmlValue + 1, 'x') + "'/>", false},
        {nested(maxXmlNesting), true}, {nested(maxXmlNesting + 1), false}, {repeated("<a>", 200000), false},
        // Entities a declaration defines could expand to any depth.
        {"<!DOCTYPE r [<!ENTITY e \"x\">]><r>&e;</r>", false}, {"<r>&#x", false}, {"", false}, {"<r>", false}};
    for (const auto& [text, accepted] : cases)
    {
        std::unique_ptr<juce::XmlElement> root(new juce::XmlElement("stale"));
        EXPECT_EQ(pluginManager::parseXml(text, root), accepted) << text.substr(0, 40);
        EXPECT_EQ(root != nullptr, accepted) << text.substr(0, 40);
    }
}

// References become the characters they stand for, texts of space alone go, and a text, its
// neighbours and every character of a value come back from one line as they were: the framework's
// own rendering crashes on the first shape.
TEST(Xml, AnElementOnOneLineReadsBackAsItWas)
{
    std::unique_ptr<juce::XmlElement> root;
    ASSERT_TRUE(pluginManager::parseXml(
        "<r><notes>Kept by a newer version<group><item/></group></notes><mixed> \r\n <a/>tail</mixed><v q='&quot;&lt;"
        "&amp;&#9;&#10;&#13;&#1;\xC3\xA9&#x1F600;'><![CDATA[<&>]]></v><deep>t<x>u<y>v</y>w</x></deep></r>",
        root));
    EXPECT_EQ(pluginManager::oneLineXml(*root),
              "<r><notes>Kept by a newer version<group><item/></group></notes><mixed><a/>tail</mixed>"
              "<v q=\"&quot;&lt;&amp;&#9;&#10;&#13;&#1;\xC3\xA9\xF0\x9F\x98\x80\">&lt;&amp;&gt;</v>"
              "<deep>t<x>u<y>v</y>w</x></deep></r>");
}
}
