#include "manager/platform/storedFile.h"
#include "manager/platform/xml.h"

#include <gtest/gtest.h>

#include <tuple>

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

std::string notWellFormed(int line) { return "not well-formed XML at line " + std::to_string(line); }

// A text counts only as a whole. The framework's parser would have read most refused texts,
// dropping part of them or reading other characters. Markup in comments, values and
// instructions opens no level. A text is refused with the bound it passes, else with the line
// where it stops being XML.
TEST(Xml, OnlyAWellFormedUtf8DocumentWithinItsBoundsIsRead)
{
    const std::string padded = "<r>" + std::string(pluginManager::largestStoredFile - 7, ' ') + "</r>";
    // An element with as many distinct names as a text may hold.
    std::string named = "<r";
    for (size_t i = 1; i < pluginManager::maxXmlNames; ++i)
        named += " a" + std::to_string(i) + "=\"\"";
    const std::string levels = "more than 512 levels", bad = notWellFormed(1), notUtf8 = "not UTF-8 text";
    // name, text, why it is refused ("" for read)
    const std::tuple<const char*, std::string, std::string> cases[] = {
        {"all that may stand in a file",
         "\xEF\xBB\xBF<?xml version=\"1.0\"?>\n<!-- <a> --><r x='&lt;a>&amp;&quot;&apos;&gt;&#1;&#x1F600;'><!-- <a> -->"
         "<![CDATA[<a>]]><b/>j\xC3\xA9r\xC3\xB4me</r>\n<!-- after --><?p <a>?>\n", ""},
        {"unquoted value", "<login key=internal user=\"a\"/>", bad},
        {"second root", "<credentials/><login key=\"k\"/>", bad},
        {"bare & in text", "<r>a & b</r>", bad}, {"bare & in value", "<r x=\"a&b\"/>", bad},
        {"undeclared entity", "<r>&nbsp;</r>", bad}, {"bare control character", "<r>\x01</r>", bad},
        // Entity names are case-sensitive; references stand for characters the framework can hold.
        {"entity in capitals", "<r>&AMP;</r>", bad}, {"reference to NUL", "<r>&#0;</r>", bad},
        {"reference to a surrogate", "<r>&#xD800;</r>", bad}, {"reference past U+10FFFF", "<r>&#1114112;</r>", bad},
        {"< in a value", "<r x=\"<\"/>", bad}, {"attribute twice", "<r a=\"1\" a=\"2\"/>", bad},
        {"end tag of another", "<r>\n<a>\n</b></a></r>", notWellFormed(3)}, {"]]> in text", "<r>]]></r>", bad},
        {"instruction inside the root", "<r><?p?>x</r>", "a processing instruction inside the root element"},
        {"second declaration after the root", "<r/>\n<?xml version=\"1.0\"?>", notWellFormed(2)},
        {"control character in CDATA", "<r><![CDATA[\x01]]></r>", bad},
        {"Latin-1", "<r a=\"j\xE9r\xF4me\"/>", notUtf8}, {"overlong UTF-8", "<r>\xC0\xAE</r>", notUtf8},
        {"1 MiB", padded, ""}, {"1 MiB and one byte", " " + padded, "larger than 1 MiB"},
        {"128 names", named + "/>", ""}, {"129 names", named + " z=\"\"/>", "more than 128 names"},
        {"64 KiB value of references", "<r a='" + repeated("&amp;", pluginManager::longestXmlValue / 5) + "'/>", ""},
        {"value of 64 KiB and one byte", "<r a='" + std::string(pluginManager::longestXmlValue + 1, 'x') + "'/>",
         "a value longer than 64 KiB"},
        {"512 levels", nested(maxXmlNesting), ""}, {"513 levels", nested(maxXmlNesting + 1), levels},
        {"200,000 open levels", repeated("<a>", 200000), levels},
        // Entities a declaration defines could expand to any depth.
        {"document type declaration", "<!DOCTYPE r [<!ENTITY e \"x\">]><r>&e;</r>", "a document type declaration"},
        {"reference cut short", "<r>&#x", bad}, {"empty text", "", "an empty file"}, {"unclosed root", "<r>", bad}};
    for (const auto& [name, text, why] : cases)
    {
        SCOPED_TRACE(name);
        std::unique_ptr<juce::XmlElement> root(new juce::XmlElement("stale"));
        std::string refused, checked;
        EXPECT_EQ(pluginManager::parseXml(text, root, refused), why.empty());
        EXPECT_EQ(root != nullptr, why.empty());
        EXPECT_EQ(pluginManager::checkXml(text, checked), why.empty());
        EXPECT_EQ(refused + "|" + checked, why + "|" + why);
    }
}

// References become the characters they stand for, texts of space alone go, and a text, its
// neighbours and every character of a value come back from one line as they were: the framework's
// own rendering crashes on the first shape.
TEST(Xml, AnElementOnOneLineReadsBackAsItWas)
{
    std::unique_ptr<juce::XmlElement> root;
    std::string why;
    ASSERT_TRUE(pluginManager::parseXml(
        "<r><notes>Kept by a newer version<group><item/></group></notes><mixed> \r\n <a/>tail</mixed><v q='&quot;&lt;"
        "&amp;&#9;&#10;&#13;&#1;\xC3\xA9&#x1F600;'><![CDATA[<&>]]></v><deep>t<x>u<y>v</y>w</x></deep></r>",
        root, why));
    EXPECT_EQ(pluginManager::oneLineXml(*root),
              "<r><notes>Kept by a newer version<group><item/></group></notes><mixed><a/>tail</mixed>"
              "<v q=\"&quot;&lt;&amp;&#9;&#10;&#13;&#1;\xC3\xA9\xF0\x9F\x98\x80\">&lt;&amp;&gt;</v>"
              "<deep>t<x>u<y>v</y>w</x></deep></r>");
}
}
