#pragma once

namespace pluginManager
{
struct Args;
class PluginManager;

// Each handler yields the exit code; results go to the standard output, messages to the error
// stream.
int install(PluginManager& manager, const Args& args);
int uninstall(PluginManager& manager, const Args& args);
}
