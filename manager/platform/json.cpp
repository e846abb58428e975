#include "manager/platform/json.h"

namespace pluginManager
{
namespace
{
using Cursor = juce::String::CharPointerType;

bool isQuote(juce::juce_wchar c) { return c == '"' || c == '\''; }
bool opensLevel(juce::juce_wchar c) { return c == '[' || c == '{'; }
bool closesLevel(juce::juce_wchar c) { return c == ']' || c == '}'; }

// The parser opens a quoted text (with either quote) only where a key or a value may begin. A
// quote anywhere else is taken by the parser as something else (a number's first character) or
// ends the parse, so it must not hide the brackets after it from the count either.
bool valueMayFollow(juce::juce_wchar c) { return opensLevel(c) || c == ',' || c == ':'; }

// Moves past the closing quote; false when the text ends first, the parse then failing there.
bool skipQuotedText(Cursor& cursor, juce::juce_wchar quote)
{
    for (;;)
    {
        const auto c = cursor.getAndAdvance();
        if (c == 0)
            return false;
        if (c == quote)
            return true;
        // What follows a backslash is part of the text, a quote included.
        if (c == '\\' && cursor.getAndAdvance() == 0)
            return false;
    }
}

// One pass over the text as the parser will see it, counting the levels it would descend.
bool nestsTooDeep(const juce::String& text)
{
    auto cursor = text.getCharPointer();
    int depth = 0;
    bool valueMayStart = true;
    for (auto c = cursor.getAndAdvance(); c != 0; c = cursor.getAndAdvance())
    {
        if (juce::CharacterFunctions::isWhitespace(c))
            continue;
        if (isQuote(c) && valueMayStart)
        {
            if (!skipQuotedText(cursor, c))
                return false;
            valueMayStart = false;
            continue;
        }
        if (opensLevel(c) && ++depth > maxJsonNesting)
            return true;
        if (closesLevel(c))
            --depth;
        valueMayStart = valueMayFollow(c);
    }
    return false;
}
}

bool parseJson(const std::string& text, juce::var& value)
{
    value = juce::var();
    const auto juceText = juce::String::fromUTF8(text.data(), static_cast<int>(text.size()));
    if (nestsTooDeep(juceText))
        return false;
    if (juce::JSON::parse(juceText, value).wasOk())
        return true;
    value = juce::var();
    return false;
}
}
