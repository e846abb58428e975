#pragma once

namespace pluginManager
{
class PluginManager;

// For each stored file the manager loaded and could not read (a missing one is simply not made
// yet), one line on the error stream and in the log: "warning: could not read <file> (<why>);
// going on without" what it holds. The command then goes on as it would without the file.
void warnOfUnreadFiles(const PluginManager& manager);
}
