#pragma once

#include "manager/catalog/asset.h"
#include "manager/catalog/catalog.h"

#include <string>
#include <vector>

namespace pluginManager
{
// Replacing the running program by a newer build of itself. The program is a product of the
// catalog like any other; one update runs canUpdateInPlace, makeRoom, the install into appFolder(),
// then restore when the install failed or restart when it succeeded, and the restarted program
// calls cleanUp once isRestart sees its marker.
//
// The operations on the program file act on appFile() unless given another file, so that they can
// be exercised on a copy instead of the program that is running. A message is written only when
// the operation fails.
class SelfUpdate
{
public:
    SelfUpdate() = delete;

    // A build of a newer version of this program for this platform; null when there is none. The
    // pointer stays valid while the catalog is unchanged.
    static const Asset* find(const Catalog& catalog);
    // A build of the running version for this platform; null when there is none.
    static const Asset* findSameVersion(const Catalog& catalog);

    // The running executable, by whatever name and from whatever folder it was started.
    static std::string appFile();
    static std::string appFileName();
    static std::string appFolder();

    // Whether a new program file can be put into the folder.
    static bool canUpdateInPlace(std::string& message, const std::string& folder = appFolder());
    // Moves the program file aside to its ".old" file, replacing one left over from before.
    static bool makeRoom(std::string& message, const std::string& programFile = appFile());
    // Puts the ".old" file back when the program file is missing.
    static void restore(const std::string& programFile = appFile());
    // Starts the program file, without a shell, with the words of arguments (a word in double quotes
    // keeps its blanks) and one "--updated" at their end; false when it could not be started. The
    // caller ends the running process afterwards.
    static bool restart(const std::string& arguments, std::string& message,
                        const std::string& programFile = appFile());
    static bool isRestart(const std::vector<std::string>& args);
    // Removes the ".old" file, with a log line.
    static void cleanUp(const std::string& programFile = appFile());
};
}
