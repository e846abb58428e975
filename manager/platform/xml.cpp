#include "manager/platform/xml.h"

#include "manager/platform/textReader.h"
#include "manager/platform/utf8.h"

#include <algorithm>
#include <bitset>
#include <unordered_map>
#include <vector>

namespace pluginManager
{
namespace
{
// The longest reference that can stand for a character: "&#x10FFFF;" or "&#1114111;".
constexpr size_t longestReference = 10;

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Other control characters may stand in a document only as references.
bool isBareControl(char c) { return static_cast<unsigned char>(c) < 0x20 && !isSpace(c); }

bool isNameStart(char32_t c)
{
    return c == ':' || c == '_' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xD6) ||
           (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF) || (c >= 0x370 && c <= 0x37D) ||
           (c >= 0x37F && c <= 0x1FFF) || (c >= 0x200C && c <= 0x200D) || (c >= 0x2070 && c <= 0x218F) ||
           (c >= 0x2C00 && c <= 0x2FEF) || (c >= 0x3001 && c <= 0xD7FF) || (c >= 0xF900 && c <= 0xFDCF) ||
           (c >= 0xFDF0 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0xEFFFF);
}

bool isNameCharacter(char32_t c)
{
    return isNameStart(c) || c == '-' || c == '.' || (c >= '0' && c <= '9') || c == 0xB7 ||
           (c >= 0x300 && c <= 0x36F) || (c >= 0x203F && c <= 0x2040);
}

// Every character a reference may stand for: the framework's writer writes any character other
// than a few of ASCII's as a reference, control characters included, and no text holds a NUL.
bool isReferable(char32_t c) { return c != 0 && c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF); }

const char* const notWellFormed = "not well-formed XML";

enum class Step
{
    Failed,
    StartTag,
    EndTag
};

// Checks that a text is one well-formed document within our bounds, in one pass and without
// recursion; the framework's parser then reads only texts it reads whole and as they are meant.
class WellFormed : public TextReader
{
public:
    explicit WellFormed(const std::string& text) : TextReader(text) {}

    // Where the document begins (past a byte order mark); false for anything but a whole document.
    bool check(size_t& begin)
    {
        skipByteOrderMark();
        begin = m_at;
        if (startsWith("<?xml") && (isSpace(at(m_at + 5)) || at(m_at + 5) == '?') && !skipPast("?>"))
            return false;
        return skipMisc() && rootElement() && skipMisc() && m_at == m_text.size();
    }

private:
    // Each turn reads one start tag and then the content after it up to the next start tag,
    // closing the elements whose end tags come first.
    bool rootElement()
    {
        std::vector<std::string> open;
        for (;;)
        {
            std::string name;
            bool empty = false;
            if (open.size() >= maxXmlNesting)
                return refuse("more than " + std::to_string(maxXmlNesting) + " levels");
            if (!startTag(name, empty))
                return false;
            if (!empty)
                open.push_back(std::move(name));
            for (Step step = Step::EndTag; step == Step::EndTag;)
            {
                if (open.empty())
                    return true;
                step = content(open.back());
                if (step == Step::Failed)
                    return false;
                if (step == Step::EndTag)
                    open.pop_back();
            }
        }
    }

    // From "<" to the end of the start tag; empty tells a tag that closes itself.
    bool startTag(std::string& element, bool& empty)
    {
        if (at(m_at++) != '<')
            return false;
        size_t id = 0;
        if (!name(element) || !known(element, id))
            return false;
        std::bitset<maxXmlNames> given;
        for (;;)
        {
            const bool spaced = skipSpace();
            if (startsWith("/>") || startsWith(">"))
            {
                empty = at(m_at) == '/';
                m_at += empty ? 2 : 1;
                return true;
            }
            std::string attribute;
            if (!spaced || !name(attribute) || !known(attribute, id) || given[id])
                return false;
            given.set(id);
            skipSpace();
            if (at(m_at++) != '=')
                return false;
            skipSpace();
            if (!quoted())
                return false;
        }
    }

    // What follows a start tag, up to the next start tag or the end tag of the element named so.
    // A processing instruction has no place inside the root: none of our files has one there, and
    // the framework's parser never ends on one followed by text.
    Step content(const std::string& element)
    {
        while (m_at < m_text.size())
        {
            const char c = m_text[m_at];
            if (c == '&')
            {
                if (!reference())
                    return Step::Failed;
                continue;
            }
            if (c != '<')
            {
                if (isBareControl(c) || (c == ']' && startsWith("]]>")))
                    return Step::Failed;
                ++m_at;
                continue;
            }
            if (startsWith("</"))
                return endTag(element) ? Step::EndTag : Step::Failed;
            bool skipped = false;
            if (startsWith("<!--"))
                skipped = comment();
            else if (startsWith("<![CDATA["))
                skipped = characterData();
            else if (startsWith("<?"))
            {
                refuse("a processing instruction inside the root element");
                return Step::Failed;
            }
            else
            {
                return startsWith("<!") ? Step::Failed : Step::StartTag;
            }
            if (!skipped)
                return Step::Failed;
        }
        return Step::Failed;
    }

    bool endTag(const std::string& expected)
    {
        m_at += 2;
        std::string closing;
        if (!name(closing) || closing != expected)
            return false;
        skipSpace();
        return at(m_at++) == '>';
    }

    bool quoted()
    {
        const char quote = at(m_at++);
        if (quote != '"' && quote != '\'')
            return false;
        const size_t end = std::min(m_text.size(), m_at + longestXmlValue + 1);
        while (m_at < end)
        {
            const char c = m_text[m_at];
            if (c == quote)
            {
                ++m_at;
                return true;
            }
            if (c == '&')
            {
                if (!reference())
                    return false;
                continue;
            }
            if (c == '<' || isBareControl(c))
                return false;
            ++m_at;
        }
        return m_at < m_text.size() ? refuse("a value longer than " + std::to_string(longestXmlValue / 1024) + " KiB")
                                    : false;
    }

    // "&" and what follows up to ";": one of the five named entities or a character's number.
    bool reference()
    {
        // Looked for no further than the longest: a text of many "&" must not be searched again each time.
        size_t end = m_at + 1;
        while (end < m_text.size() && end - m_at < longestReference && m_text[end] != ';')
            ++end;
        if (at(end) != ';')
            return false;
        const std::string body = m_text.substr(m_at + 1, end - m_at - 1);
        m_at = end + 1;
        for (const char* entity : {"lt", "gt", "amp", "quot", "apos"})
        {
            if (body == entity)
                return true;
        }
        const bool hex = body.size() > 2 && body[0] == '#' && body[1] == 'x';
        const size_t digits = hex ? 2 : 1;
        if (body.size() <= digits || body[0] != '#')
            return false;
        char32_t code = 0;
        for (size_t i = digits; i < body.size(); ++i)
        {
            const int digit = juce::CharacterFunctions::getHexDigitValue(static_cast<juce::juce_wchar>(body[i]));
            if (digit < 0 || (!hex && digit > 9) || code > 0x10FFFF)
                return false;
            code = code * (hex ? 16 : 10) + static_cast<char32_t>(digit);
        }
        return isReferable(code);
    }

    bool characterData()
    {
        m_at += 9;
        const size_t end = m_text.find("]]>", m_at);
        if (end == std::string::npos)
            return false;
        for (; m_at < end; ++m_at)
        {
            if (isBareControl(m_text[m_at]))
                return false;
        }
        m_at += 3;
        return true;
    }

    bool comment()
    {
        m_at += 4;
        return skipPast("-->");
    }

    // A processing instruction; only the declaration at the very start may be named xml.
    bool instruction()
    {
        m_at += 2;
        std::string target;
        if (!name(target) || juce::String(target).equalsIgnoreCase("xml"))
            return false;
        return (isSpace(at(m_at)) || startsWith("?>")) && skipPast("?>");
    }

    // Space, comments and processing instructions, around the root.
    bool skipMisc()
    {
        for (;;)
        {
            skipSpace();
            if (startsWith("<!--"))
            {
                if (!comment())
                    return false;
            }
            else if (startsWith("<?"))
            {
                if (!instruction())
                    return false;
            }
            else if (startsWith("<!DOCTYPE"))
            {
                return refuse("a document type declaration");
            }
            else
            {
                return true;
            }
        }
    }

    bool name(std::string& out)
    {
        const size_t begin = m_at;
        for (size_t next = m_at; next < m_text.size(); m_at = next)
        {
            const char32_t c = nextCharacter(m_text, next);
            if (m_at == begin ? !isNameStart(c) : !isNameCharacter(c))
                break;
        }
        out = m_text.substr(begin, m_at - begin);
        return m_at > begin;
    }

    // The number of an element or attribute name; false when it would be one too many.
    bool known(const std::string& text, size_t& id)
    {
        const auto found = m_names.find(text);
        if (found != m_names.end())
        {
            id = found->second;
            return true;
        }
        if (m_names.size() == maxXmlNames)
            return refuse("more than " + std::to_string(maxXmlNames) + " names");
        id = m_names.size();
        m_names.emplace(text, id);
        return true;
    }

    bool skipPast(const char* end)
    {
        const size_t found = m_text.find(end, m_at);
        if (found == std::string::npos)
            return false;
        m_at = found + std::char_traits<char>::length(end);
        return true;
    }

    std::unordered_map<std::string, size_t> m_names;
};

bool checked(const std::string& text, size_t& begin, std::string& why)
{
    if (!isStoredText(text, why))
        return false;
    WellFormed document(text);
    if (document.check(begin))
        return true;
    why = document.why(notWellFormed);
    return false;
}

void appendEscaped(std::string& out, const juce::String& text)
{
    for (const char c : text.toStdString())
    {
        switch (c)
        {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default:
                // Line ends too: a strict reader would turn them into spaces in an attribute.
                if (static_cast<unsigned char>(c) < 0x20)
                    out += "&#" + std::to_string(static_cast<int>(c)) + ";";
                else
                    out += c;
        }
    }
}

void appendOneLine(std::string& out, const juce::XmlElement& element)
{
    if (element.isTextElement())
    {
        appendEscaped(out, element.getText());
        return;
    }
    const std::string name = element.getTagName().toStdString();
    out += "<" + name;
    for (int i = 0; i < element.getNumAttributes(); ++i)
    {
        out += " " + element.getAttributeName(i).toStdString() + "=\"";
        appendEscaped(out, element.getAttributeValue(i));
        out += "\"";
    }
    if (element.getFirstChildElement() == nullptr)
    {
        out += "/>";
        return;
    }
    out += ">";
    for (const auto* child : element.getChildIterator())
        appendOneLine(out, *child);
    out += "</" + name + ">";
}
}

bool checkXml(const std::string& text, std::string& why)
{
    size_t begin = 0;
    return checked(text, begin, why);
}

bool parseXml(const std::string& text, std::unique_ptr<juce::XmlElement>& root, std::string& why)
{
    root.reset();
    size_t begin = 0;
    if (!checked(text, begin, why))
        return false;
    root = juce::XmlDocument::parse(
        juce::String::fromUTF8(text.data() + begin, static_cast<int>(text.size() - begin)));
    if (root == nullptr)
        why = notWellFormed;
    return root != nullptr;
}

std::string oneLineXml(const juce::XmlElement& element)
{
    std::string text;
    appendOneLine(text, element);
    return text;
}
}
