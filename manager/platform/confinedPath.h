#pragma once

#include <juce_core/juce_core.h>

#include <string>

namespace pluginManager
{
// Relative paths the user did not type (from a product list, from the install record) name
// something below a folder the program chose, and must never reach anything outside it: a
// download or a removal there could otherwise replace or delete any file of the user's. Each
// answer is the empty file when the path is refused.
class ConfinedPath
{
public:
    ConfinedPath() = delete;

    // A path from a product list, which the server may write in either system's style: "\"
    // separates like "/", and empty steps ("a//b") are dropped. Refused when it is empty or
    // absolute, holds a ":" (a drive or a stream elsewhere), a "." or ".." step, or when a link
    // lies on its way below folder, the last step included: a link may lead anywhere on the disk.
    static juce::File below(const juce::File& folder, const std::string& relative);

    // One item that a record lists directly in folder. The program wrote the name on this system,
    // where "\" and ":" are ordinary characters of a name and an installed item may well be a
    // link, so only what would reach the folder itself or beyond is refused: an empty name, "."
    // or "..", or one holding a "/".
    static juce::File item(const juce::File& folder, const std::string& name);
};
}
