#pragma once

namespace pluginManager
{
struct Args;
class PluginManager;

// The commands whose result is one text, delivered through output(): to the standard output, or
// with "--out" to a file. Each yields the exit code.
int changelog(PluginManager& manager, const Args& args);
int share(PluginManager& manager, const Args& args);
}
