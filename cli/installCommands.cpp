#include "cli/installCommands.h"

#include "cli/args.h"
#include "cli/commands.h"

namespace pluginManager
{
int install(const Args& args) { return notBuiltYet(args); }
int uninstall(const Args& args) { return notBuiltYet(args); }
}
