#pragma once

#include <juce_core/juce_core.h>

#include <cstddef>
#include <memory>
#include <string>

namespace pluginManager
{
// Far deeper than any settings or login file nests (two or three levels), and shallow enough for
// the framework's parser, writer and destructor, which recurse once per level, to stay within any
// stack.
constexpr int maxXmlNesting = 512;

// Far more than any file of ours names (a dozen or so element and attribute names). The framework
// keeps every such name in one sorted list for the life of the process, and finds an attribute by
// walking its element's others, so many names would cost time that grows with their square.
constexpr size_t maxXmlNames = 128;

// Far longer than any value of ours (a path, a masked password). The framework's parser takes
// time that grows with the square of a value's references.
constexpr size_t longestXmlValue = 64 * 1024;

// Every stored XML file is read here. The framework's parser takes unquoted values, content after
// the root and unknown entities and drops what it cannot place, and never ends on one shape of
// text, so it is given only a text that was first checked whole, in one pass: UTF-8 (with or
// without its byte order mark), no larger than largestStoredFile, one root element, attributes
// quoted, once each per element and no longer than longestXmlValue, only the five named entities
// and character references, nothing but space, comments and processing instructions around the
// root and none inside it, no document type declaration, at most maxXmlNesting levels and
// maxXmlNames names. False, with root emptied and why saying what was found (such as "more than
// 128 names" or "not well-formed XML at line 3"), for anything else.
bool parseXml(const std::string& text, std::unique_ptr<juce::XmlElement>& root, std::string& why);

// Whether parseXml would read text, without building its elements: the check a save runs on the
// text it is about to write. False with why as parseXml gives it.
bool checkXml(const std::string& text, std::string& why);

// The element with its attributes and children as XML on one line, which parseXml reads back as it
// was. (The framework's own single-line rendering crashes on an element that follows a text and
// holds an element of its own.)
std::string oneLineXml(const juce::XmlElement& element);
}
