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

    // Puts file, which lies in leaving (the plug-in folder that is to be replaced or removed), into
    // the folder, making the folder first. A file with the same bytes there already counts as
    // kept, unless it is file itself or lies in leaving (through a link the user made); a different
    // one keeps its name, and file gets the first free numbered name beside it. Either name only
    // ever holds the whole file. A moved file whose original cannot be deleted stays where it was
    // too. Anything other than a regular file (a FIFO, a socket, a device) is no file of the
    // user's: it is left to go with leaving, the log names it, and the answer is true. False, with
    // failure naming the file and saying why, when the file could not be kept (also when the
    // folder leads into leaving): leaving must then stay, and nothing of the copy is left.
    bool keep(const juce::File& file, Keep how, const juce::File& leaving, std::string& failure) const;

    // Removes what keeps that a killed run cut short left in the folder.
    void clearInterrupted() const;

private:
    juce::File m_folder;
};
}
