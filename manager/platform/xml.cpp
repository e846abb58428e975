#include "manager/platform/xml.h"

#include <cstring>

namespace pluginManager
{
namespace
{
using Cursor = juce::String::CharPointerType;
using juce::juce_wchar;

bool startsWith(Cursor text, const char* prefix)
{
    return juce::CharacterFunctions::compareUpTo(text, juce::CharPointer_ASCII(prefix),
                                                 static_cast<int>(std::strlen(prefix))) == 0;
}

// The parser's rule for element and attribute names, which decides where it opens an element.
bool isNameChar(juce_wchar c)
{
    if (c < 128)
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
               c == ':' || c == '.';
    return c >= 160 && juce::CharacterFunctions::isLetterOrDigit(c);
}

Cursor nameEnd(Cursor text)
{
    while (isNameChar(*text))
        ++text;
    return text;
}

// What one step of the parser does to the nesting: Down when it opens an element and goes on to
// read its children, Up when it leaves the element whose children it was reading (at the end of
// the document, of a text, or after an error as much as at a closing tag).
enum class Level
{
    Up,
    Same,
    Down
};

// Walks the text as the framework's parser walks it, step for step, but keeps the level it would
// have descended to in a counter instead of on a stack. The parser goes on after most errors and
// may descend further there, so every step mirrors it, errors included; a count that treated the
// text as well-formed XML could be led astray by a stray quote into missing the elements after it.
class NestingScan
{
public:
    NestingScan(Cursor text, int depth) : m_input(text), m_depth(depth) {}

    bool documentFits()
    {
        if (m_input.isEmpty())
            return true;
        skipSpaceAndComments();
        if (startsWith(m_input, "<?xml"))
        {
            const auto headerEnd = juce::CharacterFunctions::find(m_input, juce::CharPointer_ASCII("?>"));
            if (headerEnd.isEmpty())
                return true;
            m_input = headerEnd + 2;
            skipSpaceAndComments();
        }
        if (startsWith(m_input, "<!DOCTYPE"))
            return false;
        return elementsFit(true);
    }

private:
    // The document has one element; an entity read as elements may have several.
    bool elementsFit(bool justOne)
    {
        const int base = m_depth;
        for (;;)
        {
            const Level start = elementStart();
            if (start == Level::Up || m_refused)
                return !m_refused;
            if (start == Level::Down)
                ++m_depth;
            while (m_depth > base)
            {
                if (m_depth > maxXmlNesting)
                    return false;
                const Level step = childStep();
                if (m_refused)
                    return false;
                m_depth += step == Level::Down ? 1 : step == Level::Up ? -1 : 0;
            }
            if (justOne)
                return true;
        }
    }

    // From the start of an element to the end of its start tag.
    Level elementStart()
    {
        skipSpaceAndComments();
        if (m_outOfData || *m_input != '<')
            return Level::Up;
        ++m_input;
        auto end = nameEnd(m_input);
        if (end == m_input)
        {
            skipSpaceAndComments();
            end = nameEnd(m_input);
            if (end == m_input)
                return Level::Up;
        }
        m_input = end;
        for (;;)
        {
            skipSpaceAndComments();
            const auto c = *m_input;
            if (c == '/' && m_input[1] == '>')
            {
                m_input += 2;
                return Level::Same;
            }
            if (c == '>')
            {
                ++m_input;
                return Level::Down;
            }
            if (!isNameChar(c))
                return Level::Same;
            m_input = nameEnd(m_input);
            skipSpaceAndComments();
            if (readNextChar() != '=')
                return Level::Same;
            skipSpaceAndComments();
            if (*m_input != '"' && *m_input != '\'')
                return Level::Same;
            skipQuotedText();
            if (m_refused)
                return Level::Same;
        }
    }

    // One turn of the parser's loop over the children of an element.
    Level childStep()
    {
        const auto beforeSpace = m_input;
        skipSpaceAndComments();
        if (m_outOfData)
            return Level::Up;
        if (*m_input == '<')
        {
            if (m_input[1] == '/')
            {
                const int close = m_input.indexOf(static_cast<juce_wchar>('>'));
                if (close >= 0)
                    m_input += close + 1;
                return Level::Up;
            }
            if (m_input[1] == '!' && startsWith(m_input + 2, "[CDATA["))
            {
                m_input += 9;
                skipCData();
                return Level::Same;
            }
            return elementStart();
        }
        m_input = beforeSpace;
        if (!textGoesOn())
            return Level::Up;
        // Text after a processing instruction: the parser passes over the instruction to find the
        // text, goes back to read the text from there, stops at the instruction, and so for ever.
        if (m_input == beforeSpace)
            m_refused = true;
        return Level::Same;
    }

    // False when the parser leaves the element in the middle of its text.
    bool textGoesOn()
    {
        for (;;)
        {
            const auto c = *m_input;
            if (c == '<')
            {
                if (!(m_input[1] == '!' && m_input[2] == '-' && m_input[3] == '-'))
                    return true;
                m_input += 4;
                const int close = m_input.indexOf(juce::CharPointer_ASCII("-->"));
                if (close < 0)
                    return stopAtEnd();
                m_input += close + 3;
                continue;
            }
            if (c == 0)
                return stopAtEnd();
            if (c == '&')
            {
                readEntity(true);
                if (m_refused)
                    return false;
                continue;
            }
            for (;; ++m_input)
            {
                const auto next = *m_input;
                if (next == '<' || next == '&')
                    break;
                if (next == 0)
                    return stopAtEnd();
            }
        }
    }

    bool stopAtEnd()
    {
        m_outOfData = true;
        return false;
    }

    void skipCData()
    {
        for (;; ++m_input)
        {
            const auto c = *m_input;
            if (c == 0)
            {
                m_outOfData = true;
                return;
            }
            if (c == ']' && m_input[1] == ']' && m_input[2] == '>')
            {
                m_input += 3;
                return;
            }
        }
    }

    void skipQuotedText()
    {
        const auto quote = readNextChar();
        while (!m_outOfData)
        {
            const auto c = readNextChar();
            if (c == quote)
                return;
            // As the parser does, also after reading the end of the text.
            --m_input;
            if (c == '&')
            {
                readEntity(false);
                if (m_refused)
                    return;
                continue;
            }
            for (;; ++m_input)
            {
                const auto character = *m_input;
                if (character == quote)
                {
                    ++m_input;
                    return;
                }
                if (character == '&')
                    break;
                if (character == 0)
                {
                    m_outOfData = true;
                    break;
                }
            }
        }
    }

    // The parser reads the five named entities on their own, but they end at the first ";" as any
    // other name does, and none stands for elements.
    void readEntity(bool inText)
    {
        ++m_input;
        if (*m_input == '#')
        {
            ++m_input;
            skipCharacterCode();
            return;
        }
        const auto name = m_input;
        const int semicolon = m_input.indexOf(static_cast<juce_wchar>(';'));
        if (semicolon < 0)
        {
            m_outOfData = true;
            return;
        }
        m_input += semicolon + 1;
        // An entity the parser does not know stands for its own name, and in a text a name that
        // begins with "<" is read as elements in the entity's place.
        if (inText && *name == '<' && semicolon > 1)
        {
            const juce::String elements(name, static_cast<size_t>(semicolon));
            m_refused = !NestingScan(elements.getCharPointer(), m_depth).elementsFit(false);
        }
    }

    void skipCharacterCode()
    {
        if (*m_input == 'x' || *m_input == 'X')
        {
            ++m_input;
            for (int digits = 0; *m_input != ';'; ++m_input)
            {
                if (juce::CharacterFunctions::getHexDigitValue(*m_input) < 0 || ++digits > 8)
                    break;
            }
            // The parser steps past whatever ended the code, and past the end of the text it
            // would read memory that is not the text's.
            if (*m_input == 0)
            {
                m_refused = true;
                return;
            }
            ++m_input;
            return;
        }
        if (*m_input >= '0' && *m_input <= '9')
        {
            for (int digits = 0;; ++m_input)
            {
                const auto c = *m_input;
                if (c == 0)
                    return;
                if (c == ';' || ++digits > 12)
                    break;
            }
            ++m_input;
        }
    }

    juce_wchar readNextChar()
    {
        const auto c = m_input.getAndAdvance();
        if (c == 0)
        {
            m_outOfData = true;
            --m_input;
        }
        return c;
    }

    // White space, comments and processing instructions, which the parser passes over alike.
    void skipSpaceAndComments()
    {
        for (;;)
        {
            m_input.incrementToEndOfWhitespace();
            if (m_input.isEmpty())
            {
                m_outOfData = true;
                return;
            }
            if (*m_input != '<')
                return;
            const char* close = m_input[1] == '!' && m_input[2] == '-' && m_input[3] == '-' ? "-->"
                                : m_input[1] == '?'                                          ? "?>"
                                                                                             : nullptr;
            if (close == nullptr)
                return;
            m_input += close[0] == '-' ? 4 : 2;
            const int end = m_input.indexOf(juce::CharPointer_ASCII(close));
            if (end < 0)
            {
                m_outOfData = true;
                return;
            }
            m_input += end + static_cast<int>(std::strlen(close));
        }
    }

    Cursor m_input;
    int m_depth;
    bool m_outOfData = false;
    // Set in the middle of a step: an entity read as elements nests too deep, or the parser would
    // read past the end of its text or never come to an end.
    bool m_refused = false;
};
}

bool parseXml(const std::string& text, std::unique_ptr<juce::XmlElement>& root)
{
    root.reset();
    const auto juceText = juce::String::createStringFromData(text.data(), static_cast<int>(text.size()));
    if (!NestingScan(juceText.getCharPointer(), 0).documentFits())
        return false;
    root = juce::XmlDocument(juceText).getDocumentElement();
    return root != nullptr;
}
}
