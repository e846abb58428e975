#pragma once

#include <juce_core/juce_core.h>

#include <string>

namespace pluginManager
{
// Our code keeps paths as UTF-8 standard strings; these are the crossings into the framework and
// back. An empty path is no file. A relative path is taken from the working folder (the framework
// would treat it as a programming error).
//
// toFile is for folders the user types (the settings folder, install locations) and what is built
// on them: a leading "~" is the home folder there ("~name" that user's), as the framework reads it.
inline juce::File toFile(const std::string& path)
{
    if (path.empty())
        return {};
    const juce::String text = juce::String::fromUTF8(path.c_str());
    if (juce::File::isAbsolutePath(text))
        return juce::File(text);
    return juce::File::getCurrentWorkingDirectory().getChildFile(text);
}

// relative taken below folder as the system would take it: the framework reads a leading "~" as
// a home folder, which the "./" keeps an ordinary name. ".." steps still climb; a path that must
// stay below folder goes through ConfinedPath.
inline juce::File literalChild(const juce::File& folder, const std::string& relative)
{
    return folder.getChildFile("./" + juce::String::fromUTF8(relative.c_str()));
}

// For paths the program did not take from the user as typed (job files, records, archives): a
// leading "~" is an ordinary name, as the system would take it.
inline juce::File literalFile(const std::string& path)
{
    if (path.empty())
        return {};
    const juce::String text = juce::String::fromUTF8(path.c_str());
    if (text.startsWithChar('/'))
        return juce::File(text);
    return literalChild(juce::File::getCurrentWorkingDirectory(), path);
}

inline std::string pathOf(const juce::File& file)
{
    return file.getFullPathName().toStdString();
}
}
