#include "manager/platform/confinedPath.h"

#include "manager/platform/filePaths.h"

#include <vector>

namespace pluginManager
{
namespace
{
bool isFolderStep(const std::string& piece) { return piece == "." || piece == ".."; }

std::vector<std::string> piecesOf(const std::string& path)
{
    std::vector<std::string> pieces;
    juce::StringArray split;
    split.addTokens(juce::String::fromUTF8(path.c_str()), "/", "");
    for (const juce::String& piece : split)
    {
        if (piece.isNotEmpty())
            pieces.push_back(piece.toStdString());
    }
    return pieces;
}

bool passesThroughLink(juce::File folder, const std::vector<std::string>& pieces)
{
    for (const std::string& piece : pieces)
    {
        folder = literalChild(folder, piece);
        if (folder.isSymbolicLink())
            return true;
        // Below a missing step there is no link either.
        if (!folder.exists())
            return false;
    }
    return false;
}
}

juce::File ConfinedPath::below(const juce::File& folder, const std::string& relative)
{
    const std::string path = juce::String::fromUTF8(relative.c_str()).replaceCharacter('\\', '/').toStdString();
    if (path.empty() || path.front() == '/' || path.find(':') != std::string::npos)
        return {};
    const std::vector<std::string> pieces = piecesOf(path);
    if (pieces.empty())
        return {};
    std::string joined;
    for (const std::string& piece : pieces)
    {
        if (isFolderStep(piece))
            return {};
        joined += (joined.empty() ? "" : "/") + piece;
    }
    if (passesThroughLink(folder, pieces))
        return {};
    return literalChild(folder, joined);
}

juce::File ConfinedPath::item(const juce::File& folder, const std::string& name)
{
    if (name.empty() || isFolderStep(name) || name.find('/') != std::string::npos)
        return {};
    return literalChild(folder, name);
}
}
