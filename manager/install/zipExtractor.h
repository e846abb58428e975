#pragma once

#include <juce_core/juce_core.h>

#include <functional>
#include <string>
#include <vector>

namespace pluginManager
{
// The answer of ZipExtractor::checkWriteAccess, kept a plain integer so that callers may store it
// as one.
namespace WriteAccess
{
enum : int
{
    Writable = 0,    // the folder exists (or was just created) and a file could be created in it
    NeedsRights = 1, // the folder or a file in it could not be created; administrator rights might help
    Unusable = 2     // no location, or a file stands where the folder should be
};
}

// Unpacks a downloaded build into a private work folder and puts its plug-in into the install
// location so that the location ends up with either the whole new build or exactly what it held.
// The copy into the location has a header of its own (transactionalCopy.h).
namespace ZipExtractor
{
// An unpacked install whose copy waits for an elevated run.
struct PendingCopy
{
    std::string source;      // the plug-in root inside the work folder
    std::string destination; // the install location
    std::string workFolder;  // deleted once the elevated copy has run
};

// May create the location folder. message is written only when the answer is not Writable.
int checkWriteAccess(const std::string& location, std::string& message);

// True when every entry of the archive was unpacked into destination. An entry fails when its
// bytes differ from the size or checksum the archive declares, when it cannot be written whole,
// or when it is a link leading out of the unpacked folder. progress may be empty.
bool extract(const std::string& zipPath, const std::string& destination, std::string& message,
             const std::function<void(float)>& progress = {});

// The folder inside an unpacked build that holds the plug-in's items; at worst folder itself.
juce::File pluginRoot(const juce::File& folder, const std::string& fileName);

// Unpacks the archive, finds the plug-in and copies it into location, or, when rights are
// needed and pending is given, leaves the copy to an elevated run described in *pending.
// items receives the top-level names of what is (to be) installed; beforeCopy, when given, gets
// them before the first of them is put into location.
bool install(const std::string& zipPath, const std::string& location, const std::string& fileName,
             const std::string& product, bool needsRights, std::vector<std::string>& items,
             std::string& message, PendingCopy* pending,
             const std::function<void(const std::vector<std::string>&)>& beforeCopy = {});
}
}
