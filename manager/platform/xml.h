#pragma once

#include <juce_core/juce_core.h>

#include <memory>
#include <string>

namespace pluginManager
{
// Far deeper than any settings or login file nests (two or three levels), and shallow enough for
// the framework's parser, which recurses once per level, to stay within any stack.
constexpr int maxXmlNesting = 512;

// Every XML text this program reads is read here. The text is as it lies on disk (UTF-8 or UTF-16
// with its byte order mark). False, with root emptied, when the text is no XML, nests deeper than
// maxXmlNesting, is one the framework's parser would never finish or read beyond, or carries a
// document type declaration: the entities such a declaration defines expand into elements that no
// count of the text itself can bound, and no file of ours has one.
bool parseXml(const std::string& text, std::unique_ptr<juce::XmlElement>& root);
}
