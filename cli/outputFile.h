#pragma once

#include <string>

namespace pluginManager
{
// Writes text, exactly as given, into the file at path for --out. A regular file there (or where a
// chain of links at path ends) is replaced only once the whole text is on disk: the text goes into
// a hidden file beside it, which then takes its name in one rename and keeps its mode, so a failed
// write (a full disk) leaves the old file byte for byte and the links stay links. A new file gets
// the mode the process gives new files. A terminal, pipe or device is written into as it stands.
// False when the text did not reach the file whole; nothing is left beside it then.
bool writeOutputFile(const std::string& text, const std::string& path);
}
