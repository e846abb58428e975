#include "cli/listingCommands.h"

#include "cli/args.h"

#include <iostream>

namespace pluginManager
{
namespace
{
int notBuiltYet(const Args& args)
{
    std::cerr << args.command << ": not built yet\n";
    return 1;
}
}

int list(const Args& args) { return notBuiltYet(args); }
int login(const Args& args) { return notBuiltYet(args); }
int logout(const Args& args) { return notBuiltYet(args); }
int teamlogin(const Args& args) { return notBuiltYet(args); }
int paths(const Args& args) { return notBuiltYet(args); }
}
