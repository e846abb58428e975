#include "manager/platform/utf8.h"

namespace pluginManager
{
namespace
{
// The length of the sequence a byte begins; 0 for a byte that begins none.
size_t sequenceLength(unsigned char lead)
{
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if ((lead & 0xF0) == 0xE0)
        return 3;
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    return 0;
}

bool isContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }
}

bool isUtf8(const std::string& text)
{
    static const char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    for (size_t i = 0; i < text.size();)
    {
        const size_t length = sequenceLength(static_cast<unsigned char>(text[i]));
        if (length == 0 || length > text.size() - i)
            return false;
        for (size_t k = 1; k < length; ++k)
            if (!isContinuation(static_cast<unsigned char>(text[i + k])))
                return false;
        size_t next = i;
        const char32_t code = nextCharacter(text, next);
        if (code < smallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i = next;
    }
    return true;
}

char32_t nextCharacter(const std::string& text, size_t& index)
{
    const auto lead = static_cast<unsigned char>(text[index++]);
    const size_t length = sequenceLength(lead);
    if (length <= 1)
        return lead;
    char32_t code = lead & (0x7Fu >> length);
    for (size_t k = 1; k < length; ++k)
        code = (code << 6) | (static_cast<unsigned char>(text[index++]) & 0x3Fu);
    return code;
}

void appendUtf8(std::string& text, char32_t character)
{
    if (character < 0x80)
    {
        text += static_cast<char>(character);
        return;
    }
    // The lead byte says how many continuation bytes follow; each of them carries six bits.
    static const unsigned char leads[] = {0, 0xC0, 0xE0, 0xF0};
    const int continuations = character < 0x800 ? 1 : character < 0x10000 ? 2 : 3;
    text += static_cast<char>(leads[continuations] | (character >> (6 * continuations)));
    for (int shift = 6 * (continuations - 1); shift >= 0; shift -= 6)
        text += static_cast<char>(0x80 | ((character >> shift) & 0x3F));
}
}
