#pragma once

#include <juce_core/juce_core.h>

#include <string>

namespace pluginManager
{
// Far deeper than any list, release or login text nests (a handful of levels), and shallow
// enough for the framework's parser, which recurses once per level, to stay within any stack.
constexpr int maxJsonNesting = 512;

// Every JSON text that comes from outside (a server, a file, another person) is read here. The
// text is UTF-8; value holds an object or an array, or nothing for an empty text. False, with
// value emptied, when the text is no JSON or nests deeper than maxJsonNesting.
bool parseJson(const std::string& text, juce::var& value);
}
