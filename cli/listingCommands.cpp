#include "cli/listingCommands.h"

#include "cli/args.h"
#include "cli/commands.h"

namespace pluginManager
{
int list(const Args& args) { return notBuiltYet(args); }
int login(const Args& args) { return notBuiltYet(args); }
int logout(const Args& args) { return notBuiltYet(args); }
int teamlogin(const Args& args) { return notBuiltYet(args); }
int paths(const Args& args) { return notBuiltYet(args); }
}
