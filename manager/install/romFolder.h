#pragma once

#include <juce_core/juce_core.h>

#include <string>

namespace pluginManager
{
// A product's rom folder, where the user's files go that a plug-in folder being replaced or
// removed would otherwise take with it: the ROM files inside it and files a user added to it.
class RomFolder
{
public:
    // Moving empties the plug-in folder of what it kept; copying leaves the old folder whole
    // until its replacement is in.
    enum class Keep
    {
        Move,
        Copy
    };

    // What a message about a file that could not be kept ends with, when the install stops for it.
    static constexpr const char* leftAsItWas =
        ".\n\nThe installed plug-in was left as it was, so that none of your files is lost.";

    explicit RomFolder(const std::string& product);

    const juce::File& folder() const { return m_folder; }

    // Puts file into the folder, making the folder first. A file with the same bytes there already
    // counts as kept; a different one keeps its name, and file gets the first free numbered name
    // beside it. Either name only ever holds the whole file. A moved file whose original cannot be
    // deleted stays where it was too. False, with failure naming the file and saying why, when the
    // file could not be kept: its plug-in folder must then stay, and nothing of the copy is left.
    bool keep(const juce::File& file, Keep how, std::string& failure) const;

    // Removes what keeps that a killed run cut short left in the folder.
    void clearInterrupted() const;

private:
    juce::File m_folder;
};
}
