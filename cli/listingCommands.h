#pragma once

namespace pluginManager
{
struct Args;
class PluginManager;

// The refresh that list, install and changelog start with: a failed source is only a warning on
// the error stream, followed by the reason when libcurl could not be loaded, and the command goes
// on with whatever the other sources gave.
void refresh(PluginManager& manager);

// Each handler yields the exit code; results go to the standard output, messages to the error
// stream.
int list(PluginManager& manager, const Args& args);
int login(PluginManager& manager, const Args& args);
int logout(PluginManager& manager, const Args& args);
int teamlogin(PluginManager& manager, const Args& args);
int paths(PluginManager& manager, const Args& args);
}
