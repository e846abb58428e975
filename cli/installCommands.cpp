#include "cli/installCommands.h"

#include "cli/args.h"
#include "cli/commands.h"

namespace pluginManager
{
int install(PluginManager&, const Args& args) { return notBuiltYet(args); }
int uninstall(PluginManager&, const Args& args) { return notBuiltYet(args); }
}
