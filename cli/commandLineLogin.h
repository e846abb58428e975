#pragma once

#include <string>

namespace pluginManager
{
struct Args;
class PluginManager;

// Puts the login given with --user and --password (channel from --channel, internal by default;
// product folder from --product) into the manager for this run only; nothing is written to disk.
// The login command reads those options itself, so for it nothing happens. False with a message
// when the options do not make a login.
bool applyCommandLineLogin(PluginManager& manager, const Args& args, std::string& error);
}
