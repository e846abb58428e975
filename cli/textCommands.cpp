#include "cli/textCommands.h"

#include "cli/args.h"
#include "cli/commands.h"

namespace pluginManager
{
int changelog(const Args& args) { return notBuiltYet(args); }
int share(const Args& args) { return notBuiltYet(args); }
}
