#include "cli/textCommands.h"

#include "cli/args.h"
#include "cli/commands.h"

namespace pluginManager
{
int changelog(PluginManager&, const Args& args) { return notBuiltYet(args); }
int share(PluginManager&, const Args& args) { return notBuiltYet(args); }
}
