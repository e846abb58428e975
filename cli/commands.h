#pragma once

#include <string>

namespace pluginManager
{
struct Args;
class PluginManager;

// Runs the handler of args.command (exact, case-sensitive) and yields its exit code. Any other
// word prints "Unknown command: " with the word and the usage, and yields 1.
int dispatch(PluginManager& manager, const Args& args);

// Whether the run may change the stored files or the plug-in folders, and so must have them to
// itself from before it loads them to its end. The other runs only read.
bool mayChangeStoredState(const Args& args);

// Whether word names a command (exact, case-sensitive).
bool isCommand(const std::string& word);

// Names each option that args.command does not read on the error stream. Most commands go on
// without it (a "warning: " line each); uninstall refuses to run: "Unknown option: " with the
// option, then the usage, and false. A word that is no command is left to dispatch.
bool checkOptions(const Args& args);
}
