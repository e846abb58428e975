#include "cli/textCommands.h"

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

int changelog(const Args& args) { return notBuiltYet(args); }
int share(const Args& args) { return notBuiltYet(args); }
}
