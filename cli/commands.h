#pragma once

namespace pluginManager
{
struct Args;
class PluginManager;

// Runs the handler of args.command (exact, case-sensitive) and yields its exit code. Any other
// word prints "Unknown command: " with the word and the usage, and yields 1.
int dispatch(PluginManager& manager, const Args& args);

// Stands for a command whose handler is still to come: says so on the error stream and yields 1.
int notBuiltYet(const Args& args);
}
