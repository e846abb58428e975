#include "cli/commands.h"

#include "cli/args.h"
#include "cli/installCommands.h"
#include "cli/listingCommands.h"
#include "cli/output.h"
#include "cli/textCommands.h"

#include <iostream>

namespace pluginManager
{
namespace
{
using Handler = int (*)(PluginManager&, const Args&);

struct Command
{
    const char* word;
    Handler handler;
    // Whether it may change the stored files or the plug-in folders. None of these changes
    // anything without its first argument: teamlogin and paths then show the setting, the others
    // refuse to run.
    bool changes;
};

// In the order they are tried. share and teamlogin are not in the usage text but are commands all
// the same; help never gets here, main answers it before anything is loaded.
constexpr Command commands[] = {
    {"list", list, false},
    {"install", install, true},
    {"login", login, true},
    {"logout", logout, true},
    {"share", share, false},
    {"teamlogin", teamlogin, true},
    {"paths", paths, true},
    {"uninstall", uninstall, true},
    {"changelog", changelog, false},
};
}

bool mayChangeStoredState(const Args& args)
{
    for (const Command& command : commands)
    {
        if (args.command == command.word)
            return command.changes && !args.positionalAt(0).empty();
    }
    return false;
}

bool isCommand(const std::string& word)
{
    for (const Command& command : commands)
    {
        if (word == command.word)
            return true;
    }
    return false;
}

int dispatch(PluginManager& manager, const Args& args)
{
    for (const Command& command : commands)
    {
        if (args.command == command.word)
            return command.handler(manager, args);
    }
    std::cerr << "Unknown command: " << args.command << "\n\n";
    usage();
    return 1;
}
}
