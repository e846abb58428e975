#pragma once

#include <juce_core/juce_core.h>

#include <cstddef>
#include <string>

namespace pluginManager
{
// Far deeper than any list, release or login text nests (a handful of levels), and shallow
// enough for the framework's parser, which recurses once per level, to stay within any stack.
constexpr int maxJsonNesting = 512;

// Far more than any stored file of ours names (the install record uses eight member names). The
// framework keeps every member name in one sorted list for the life of the process, and finds a
// member by walking its object's others, so many names would cost time that grows with their
// square.
constexpr size_t maxJsonNames = 128;

// Every JSON text that comes from outside (a server, another person) is read here, as leniently
// as the framework reads it. The text is UTF-8; value holds an object or an array, or nothing for
// an empty text. A number of more digits than the framework can read without overflowing (19 and
// more before the point, 10 and more in the exponent) reads as null, the missing value of its
// field. False, with value emptied, when the text is no JSON or nests deeper than maxJsonNesting.
bool parseJson(const std::string& text, juce::var& value);

// A stored file's text is read here, strictly: it counts only as a whole, UTF-8 (with or without
// its byte order mark), no larger than largestStoredFile, one JSON value and nothing but space
// after it, texts in double quotes, no more than maxJsonNesting levels and maxJsonNames member
// names. Numbers read as by parseJson, and a character written as a pair of escaped UTF-16
// halves (as the framework writes those beyond U+FFFF) as that character, where the framework's
// parser would read two halves that are no characters. False, with value emptied and why saying
// what was found (such as "more than 512 levels" or "not JSON at line 3"), for anything else.
bool parseStoredJson(const std::string& text, juce::var& value, std::string& why);
}
