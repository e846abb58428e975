#include "manager/platform/textReader.h"

#include "manager/platform/storedFile.h"
#include "manager/platform/utf8.h"

#include <algorithm>

namespace pluginManager
{
namespace
{
const char* const byteOrderMark = "\xEF\xBB\xBF";
}

std::string TextReader::why(const char* kind) const
{
    if (!m_why.empty())
        return m_why;
    const auto end = m_text.begin() + static_cast<long>(std::min(m_at, m_text.size()));
    const auto line = std::count(m_text.begin(), end, '\n') + 1;
    return std::string(kind) + " at line " + std::to_string(line);
}

void TextReader::skipByteOrderMark()
{
    if (m_at == 0 && startsWith(byteOrderMark))
        m_at = std::char_traits<char>::length(byteOrderMark);
}

bool TextReader::skipSpace()
{
    const size_t begin = m_at;
    while (at(m_at) == ' ' || at(m_at) == '\t' || at(m_at) == '\n' || at(m_at) == '\r')
        ++m_at;
    return m_at > begin;
}

bool TextReader::startsWith(const char* prefix) const
{
    return m_at <= m_text.size() && m_text.compare(m_at, std::char_traits<char>::length(prefix), prefix) == 0;
}

bool TextReader::refuse(const std::string& why)
{
    if (m_why.empty())
        m_why = why;
    return false;
}

bool isStoredText(const std::string& text, std::string& why)
{
    if (text.empty())
        why = "an empty file";
    else if (text.size() > largestStoredFile)
        why = "larger than " + std::to_string(largestStoredFile / 1024 / 1024) + " MiB";
    else if (!isUtf8(text))
        why = "not UTF-8 text";
    else
        return true;
    return false;
}
}
