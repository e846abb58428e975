#include "manager/install/workerInput.h"

#include "manager/platform/filePaths.h"

#include <juce_core/juce_core.h>

#include <cstdint>

namespace pluginManager
{
namespace
{
// Far above what the requesting side writes for any number of plug-ins, far below what could
// exhaust memory; read with this bound, so that a device such as /dev/zero ends too.
const size_t largestList = 4 * 1024 * 1024;
const char* const utf8Mark = "\xEF\xBB\xBF";
const char* const nothingChanged = ".\n\nNothing was changed.";

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

// Strict UTF-8: no overlong form, no surrogate, nothing above U+10FFFF. The framework decodes an
// overlong form into the character it stands for, so "\xC0\xAE" would turn into "." only after
// the parts of a path were checked.
bool isUtf8(const std::string& text)
{
    static const std::uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    for (size_t i = 0; i < text.size();)
    {
        const auto lead = static_cast<unsigned char>(text[i]);
        const size_t length = sequenceLength(lead);
        if (length == 0 || length > text.size() - i)
            return false;
        std::uint32_t code = length == 1 ? lead : lead & (0x7Fu >> length);
        for (size_t k = 1; k < length; ++k)
        {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (next & 0x3Fu);
        }
        if (code < smallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

bool isText(const std::string& text)
{
    return text.find('\0') == std::string::npos && isUtf8(text);
}

// The framework reads a leading "~" as a home folder and resolves "." and ".." by the text alone,
// so "link/." or "folder/sub/.." would reach something other than what they name on disk.
bool isLiteralPath(const std::string& path)
{
    if (path.empty() || path.front() != '/' || !isText(path))
        return false;
    for (size_t begin = 1; begin <= path.size();)
    {
        size_t end = path.find('/', begin);
        if (end == std::string::npos)
            end = path.size();
        const std::string part = path.substr(begin, end - begin);
        if (part == "." || part == "..")
            return false;
        begin = end + 1;
    }
    return true;
}

// Stops once past the bound, which is enough to tell that the file is too large.
std::string readBounded(const std::string& path)
{
    std::string text;
    juce::FileInputStream in(literalFile(path));
    if (!in.openedOk())
        return text;
    char buffer[65536];
    while (text.size() <= largestList)
    {
        const int got = in.read(buffer, sizeof buffer);
        if (got <= 0)
            break;
        text.append(buffer, static_cast<size_t>(got));
    }
    return text;
}

std::vector<std::string> splitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::string line;
    for (size_t i = 0; i < text.size(); ++i)
    {
        if (text[i] != '\n' && text[i] != '\r')
        {
            line += text[i];
            continue;
        }
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        lines.push_back(std::move(line));
        line.clear();
    }
    if (!line.empty())
        lines.push_back(std::move(line));
    return lines;
}
}

bool WorkerInput::checkPaths(const std::vector<std::string>& paths, std::string& error)
{
    for (const std::string& path : paths)
    {
        if (!isLiteralPath(path))
        {
            error = "Could not use " + path
                    + ": the plugin manager names every file by its full path, in UTF-8 and without \".\" or"
                      " \"..\" parts"
                    + nothingChanged;
            return false;
        }
    }
    return true;
}

// A line ends at LF, CRLF or CR, so a list written on any system reads the same. The framework's
// own text loader would read the whole file as another encoding when one byte is not UTF-8, and
// stop at a NUL, changing or dropping paths without a word.
bool WorkerInput::readLines(const std::string& path, std::vector<std::string>& lines, std::string& error)
{
    std::string text = readBounded(path);
    if (text.size() > largestList)
    {
        error = "Could not read " + path + ": it is larger than any list the plugin manager writes" + nothingChanged;
        return false;
    }
    if (!isText(text))
    {
        error = "Could not read " + path + ": it is not UTF-8 text without NUL bytes" + nothingChanged;
        return false;
    }
    if (text.rfind(utf8Mark, 0) == 0)
        text.erase(0, 3);
    lines = splitLines(text);
    return true;
}
}
