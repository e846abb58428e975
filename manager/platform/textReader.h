#pragma once

#include <cstddef>
#include <string>

namespace pluginManager
{
// What the strict readers of stored files share: a position in the text, the bytes around it, and
// the first reason the text was refused. The text must outlive the reader.
class TextReader
{
public:
    explicit TextReader(const std::string& text) : m_text(text) {}

    // Why the text was refused: the reason a bound gave, else kind (such as "not well-formed XML")
    // with the line reading had come to, as "not well-formed XML at line 3".
    std::string why(const char* kind) const;

protected:
    // Moves past a UTF-8 byte order mark at the very start, if there is one.
    void skipByteOrderMark();
    // Space, tab, line feed and carriage return; true when there was any.
    bool skipSpace();
    bool startsWith(const char* prefix) const;
    // The byte at index, or NUL past the end.
    char at(size_t index) const { return index < m_text.size() ? m_text[index] : '\0'; }
    // Keeps why as the reason, unless an earlier one was kept; false, to be returned at once.
    bool refuse(const std::string& why);

    const std::string& m_text;
    size_t m_at = 0;

private:
    std::string m_why;
};

// The first checks of every stored text: not empty, UTF-8 (the framework would read a text with one
// stray byte as another encoding) and no larger than largestStoredFile. False, with why, when it
// fails one.
bool isStoredText(const std::string& text, std::string& why);
}
