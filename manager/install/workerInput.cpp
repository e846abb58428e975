#include "manager/install/workerInput.h"

#include "manager/platform/fileSteps.h"
#include "manager/platform/storedFile.h"
#include "manager/platform/utf8.h"

#include <sys/stat.h>
#include <unistd.h>

namespace pluginManager
{
namespace
{
// Far above what the requesting side writes for any number of plug-ins, far below what could
// exhaust memory; read with this bound.
const size_t largestList = 4 * 1024 * 1024;
const char* const utf8Mark = "\xEF\xBB\xBF";
const char* const nothingChanged = ".\n\nNothing was changed.";

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

// A FIFO or device would hold the worker or feed it without end; only a regular file is a list.
bool isNoRegularFile(const std::string& path)
{
    int fd = -1;
    struct stat info = {};
    const auto opening = openRegularFile(path, true, fd, info);
    if (fd >= 0)
        ::close(fd);
    return opening == Opening::NotAFile;
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
    if (isNoRegularFile(path))
    {
        error = "Could not read " + path + ": it is not a regular file" + nothingChanged;
        return false;
    }
    std::string text;
    readStoredFile(path, text, largestList);
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
