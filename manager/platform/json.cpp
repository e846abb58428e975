#include "manager/platform/json.h"

#include "manager/platform/textReader.h"
#include "manager/platform/utf8.h"

#include <cstring>
#include <unordered_set>

namespace pluginManager
{
namespace
{
using Cursor = juce::String::CharPointerType;

// The framework's parser adds up the digits before the point in 64 bits and those of the exponent
// in 32, past their end.
constexpr size_t longestInteger = 18;
constexpr size_t longestExponent = 9;

bool overflows(size_t integerDigits, size_t exponentDigits)
{
    return integerDigits > longestInteger || exponentDigits > longestExponent;
}

bool isDigit(juce::juce_wchar c) { return c >= '0' && c <= '9'; }
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

size_t skipDigits(Cursor& cursor)
{
    size_t digits = 0;
    for (; isDigit(*cursor); ++cursor)
        ++digits;
    return digits;
}

// Past a number as the parser reads it: after "-" it passes over space, and it reads the digits,
// a point and more digits, and an exponent. False when it has more digits than the parser can add up.
bool skipNumber(Cursor& cursor)
{
    if (*cursor == '-')
        cursor = (cursor + 1).findEndOfWhitespace();
    const size_t integer = skipDigits(cursor);
    if (*cursor == '.')
        skipDigits(++cursor);
    size_t exponent = 0;
    if (*cursor == 'e' || *cursor == 'E')
    {
        if (*++cursor == '+' || *cursor == '-')
            ++cursor;
        exponent = skipDigits(cursor);
    }
    return !overflows(integer, exponent);
}

// One pass over the text as the parser will see it: counts the levels it would descend, and puts
// null in place of each number it could not read. False when the text nests too deep.
bool guardReceived(const juce::String& text, std::string& guarded)
{
    const char* const start = text.toRawUTF8();
    const auto offset = [start](Cursor at) { return static_cast<size_t>(at.getAddress() - start); };
    size_t copied = 0;
    auto cursor = text.getCharPointer();
    int depth = 0;
    bool valueMayStart = true;
    for (auto c = *cursor; c != 0; c = *cursor)
    {
        if (juce::CharacterFunctions::isWhitespace(c))
        {
            ++cursor;
            continue;
        }
        if (valueMayStart && (c == '-' || isDigit(c)))
        {
            const auto begin = cursor;
            if (!skipNumber(cursor))
            {
                guarded.append(start + copied, offset(begin) - copied).append("null");
                copied = offset(cursor);
            }
            valueMayStart = false;
            continue;
        }
        ++cursor;
        if (isQuote(c) && valueMayStart)
        {
            if (!skipQuotedText(cursor, c))
                break;
            valueMayStart = false;
            continue;
        }
        if (opensLevel(c) && ++depth > maxJsonNesting)
            return false;
        if (closesLevel(c))
            --depth;
        valueMayStart = valueMayFollow(c);
    }
    guarded.append(start + copied);
    return true;
}

// A stored text checked against JSON's own grammar, with what the framework's parser would misread
// rewritten on the way.
class StoredJson : public TextReader
{
public:
    explicit StoredJson(const std::string& text) : TextReader(text) {}

    bool read(std::string& guarded)
    {
        skipByteOrderMark();
        m_copied = m_at;
        skipSpace();
        if (!value(0))
            return false;
        skipSpace();
        if (m_at != m_text.size())
            return false;
        guarded = std::move(m_out);
        guarded.append(m_text, m_copied, std::string::npos);
        return true;
    }

private:
    bool value(int depth)
    {
        const char c = at(m_at);
        if ((c == '{' || c == '[') && depth >= maxJsonNesting)
            return refuse("more than " + std::to_string(maxJsonNesting) + " levels");
        switch (c)
        {
            case '{': return members(depth + 1);
            case '[': return elements(depth + 1);
            case '"': return string();
            case 't': return word("true");
            case 'f': return word("false");
            case 'n': return word("null");
            default: return number();
        }
    }

    // An opening bracket, items separated by commas, and close; item reads one.
    template <typename Item>
    bool list(char close, const Item& item)
    {
        ++m_at;
        skipSpace();
        if (at(m_at) == close)
            return step();
        for (;;)
        {
            if (!item())
                return false;
            skipSpace();
            const char next = at(m_at++);
            if (next == close)
                return true;
            if (next != ',')
                return false;
            skipSpace();
        }
    }

    bool members(int depth)
    {
        return list('}', [this, depth] {
            const size_t name = m_at;
            if (at(m_at) != '"' || !string() || !known(m_text.substr(name, m_at - name)))
                return false;
            skipSpace();
            if (at(m_at++) != ':')
                return false;
            skipSpace();
            return value(depth);
        });
    }

    bool elements(int depth)
    {
        return list(']', [this, depth] { return value(depth); });
    }

    bool string()
    {
        ++m_at;
        while (m_at < m_text.size())
        {
            const char c = m_text[m_at];
            if (c == '"')
                return step();
            if (static_cast<unsigned char>(c) < 0x20)
                return false;
            if (c != '\\')
                ++m_at;
            else if (!escape())
                return false;
        }
        return false;
    }

    // The escapes the framework writes, "\a" among them. A NUL would end the parser's text.
    bool escape()
    {
        const size_t begin = m_at;
        const char kind = at(m_at + 1);
        if (kind != 0 && std::strchr("\"\\/abfnrt", kind) != nullptr)
        {
            m_at += 2;
            return true;
        }
        char32_t first = 0, second = 0;
        if (kind != 'u' || !hexCode(first) || first == 0)
            return false;
        if (first < 0xD800 || first > 0xDFFF)
            return true;
        if (first > 0xDBFF || at(m_at) != '\\' || at(m_at + 1) != 'u' || !hexCode(second) || second < 0xDC00 ||
            second > 0xDFFF)
            return false;
        std::string character;
        appendUtf8(character, 0x10000 + ((first - 0xD800) << 10) + (second - 0xDC00));
        replace(begin, character);
        return true;
    }

    // The four hex digits after "\u"; m_at moves past them.
    bool hexCode(char32_t& code)
    {
        m_at += 2;
        for (int i = 0; i < 4; ++i, ++m_at)
        {
            const int digit = juce::CharacterFunctions::getHexDigitValue(static_cast<juce::juce_wchar>(at(m_at)));
            if (digit < 0)
                return false;
            code = code * 16 + static_cast<char32_t>(digit);
        }
        return true;
    }

    bool number()
    {
        const size_t begin = m_at;
        if (at(m_at) == '-')
            ++m_at;
        // No leading zero, as JSON has it.
        const size_t integer = at(m_at) == '0' ? static_cast<size_t>(step()) : digits();
        if (integer == 0)
            return false;
        if (at(m_at) == '.' && (!step() || digits() == 0))
            return false;
        size_t exponent = 0;
        if (at(m_at) == 'e' || at(m_at) == 'E')
        {
            step();
            if (at(m_at) == '+' || at(m_at) == '-')
                step();
            exponent = digits();
            if (exponent == 0)
                return false;
        }
        if (overflows(integer, exponent))
            replace(begin, "null");
        return true;
    }

    bool word(const char* expected)
    {
        const size_t length = std::strlen(expected);
        if (m_text.compare(m_at, length, expected) != 0)
            return false;
        m_at += length;
        return true;
    }

    bool known(const std::string& name)
    {
        m_names.insert(name);
        return m_names.size() <= maxJsonNames || refuse("more than " + std::to_string(maxJsonNames) + " names");
    }

    size_t digits()
    {
        const size_t begin = m_at;
        while (isDigit(at(m_at)))
            ++m_at;
        return m_at - begin;
    }

    // The text from begin to where reading has come is given to the parser as replacement.
    void replace(size_t begin, const std::string& replacement)
    {
        m_out.append(m_text, m_copied, begin - m_copied).append(replacement);
        m_copied = m_at;
    }

    // Past one character, which the caller has checked.
    bool step()
    {
        ++m_at;
        return true;
    }

    size_t m_copied = 0;
    std::string m_out;
    std::unordered_set<std::string> m_names;
};

bool parsed(const std::string& text, juce::var& value)
{
    if (juce::JSON::parse(juce::String::fromUTF8(text.data(), static_cast<int>(text.size())), value).wasOk())
        return true;
    value = juce::var();
    return false;
}
}

bool parseJson(const std::string& text, juce::var& value)
{
    value = juce::var();
    std::string guarded;
    return guardReceived(juce::String::fromUTF8(text.data(), static_cast<int>(text.size())), guarded) &&
           parsed(guarded, value);
}

bool parseStoredJson(const std::string& text, juce::var& value, std::string& why)
{
    value = juce::var();
    if (!isStoredText(text, why))
        return false;
    StoredJson stored(text);
    std::string guarded;
    if (!stored.read(guarded))
    {
        why = stored.why("not JSON");
        return false;
    }
    if (parsed(guarded, value))
        return true;
    why = "not JSON";
    return false;
}
}
