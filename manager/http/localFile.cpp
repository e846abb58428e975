#include "manager/http/localFile.h"

#include "manager/http/temporaryFile.h"
#include "manager/http/webAddress.h"
#include "manager/platform/filePaths.h"
#include "manager/platform/fileSteps.h"

#include <cstring>
#include <vector>

namespace pluginManager
{
namespace
{
constexpr int copyBufferSize = 65536;

bool copyToNewFile(const juce::File& source, const juce::File& temp)
{
    juce::FileInputStream in(source);
    TemporaryFile out(temp);
    if (!in.openedOk() || !out.isOpen())
        return false;
    std::vector<char> buffer(copyBufferSize);
    for (int count; (count = in.read(buffer.data(), copyBufferSize)) > 0;)
        if (!out.write(buffer.data(), static_cast<size_t>(count)))
            return false;
    return out.close() && temp.getSize() == source.getSize();
}
}

juce::File localFile(const std::string& url)
{
    std::string path = url.substr(std::strlen(localAddressPrefix) - 1);
    if (!juce::File::isAbsolutePath(juce::String(path)))
        path.erase(0, 1);
    const juce::File file{juce::String(path)};
    return file.isDirectory() ? file.getChildFile("index.html") : file;
}

bool findLocalFile(const std::string& url, juce::File& file, std::string& error)
{
    file = localFile(url);
    if (file.existsAsFile())
        return true;
    error = "File not found: " + pathOf(file);
    return false;
}

bool copyLocalFile(const std::string& url, const juce::File& dest, std::string& error)
{
    const auto source = localFile(url);
    const auto temp = dest.getSiblingFile(dest.getFileName() + ".downloading");
    if (source.existsAsFile() && copyToNewFile(source, temp) && putInPlace(temp, dest))
        return true;
    temp.deleteFile();
    error = "File not found: " + pathOf(source);
    return false;
}
}
