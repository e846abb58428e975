#include "manager/platform/plainName.h"

namespace pluginManager
{
namespace
{
// The length of the control character that begins at index, 0 when none does there.
size_t controlCharacterAt(const std::string& text, size_t index)
{
    const auto byte = [&text](size_t at) { return static_cast<unsigned char>(text[at]); };
    if (byte(index) < 0x20 || byte(index) == 0x7f)
        return 1;
    if (byte(index) == 0xc2 && index + 1 < text.size() && (byte(index + 1) & 0xe0) == 0x80)
        return 2;
    return 0;
}
}

bool holdsControlCharacter(const std::string& text)
{
    for (size_t index = 0; index < text.size(); ++index)
    {
        if (controlCharacterAt(text, index) != 0)
            return true;
    }
    return false;
}

bool isPlainName(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." && name.front() != '~' &&
           name.find_first_of("/\\") == std::string::npos && !holdsControlCharacter(name);
}

std::string withoutControlCharacters(const std::string& text)
{
    std::string kept;
    kept.reserve(text.size());
    for (size_t index = 0; index < text.size();)
    {
        const size_t length = controlCharacterAt(text, index);
        if (length == 0)
            kept += text[index++];
        else
            index += length;
    }
    return kept;
}
}
