#pragma once

#include <string>

namespace pluginManager
{
// Names from the command line, the catalog and product lists end up as file and folder names
// on this machine and as text on the user's terminal. These are the rules they must pass.

// A control character: C0, DEL, or C1 (U+0080 to U+009F as UTF-8), which terminals also obey.
bool holdsControlCharacter(const std::string& text);

// A name of one item inside a folder, which cannot lead anywhere else: not empty, not "." or
// "..", not beginning with "~" (the framework reads that as a home folder), and without "/",
// "\" or a control character.
bool isPlainName(const std::string& name);

// The text with every control character taken out, for showing text that came from outside.
std::string withoutControlCharacters(const std::string& text);
}
