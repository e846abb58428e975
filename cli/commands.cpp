#include "cli/commands.h"

#include "cli/args.h"
#include "cli/installCommands.h"
#include "cli/listingCommands.h"
#include "cli/output.h"
#include "cli/textCommands.h"

#include <array>
#include <iostream>

namespace pluginManager
{
namespace
{
using Handler = int (*)(PluginManager&, const Args&);

// The options of a command beyond those every command takes; unused places stay null.
using OwnOptions = std::array<const char*, 3>;

struct Command
{
    const char* word;
    Handler handler;
    // Whether it may change the stored files or the plug-in folders. None of these changes
    // anything without its first argument: teamlogin and paths then show the setting, the others
    // refuse to run.
    bool changes;
    OwnOptions options;
    // Whether an option it does not know stops it. For uninstall a mistyped --format would leave
    // no format chosen, and so remove every one with whatever the user kept inside them.
    bool refusesUnknownOptions = false;
};

// In the order they are tried. share and teamlogin are not in the usage text but are commands all
// the same; help never gets here, main answers it before anything is loaded.
constexpr Command commands[] = {
    {"list", list, false, {}},
    {"install", install, true, {"format", "version"}},
    {"login", login, true, {}},
    {"logout", logout, true, {}},
    {"share", share, false, {"out"}},
    {"teamlogin", teamlogin, true, {}},
    {"paths", paths, true, {}},
    {"uninstall", uninstall, true, {"format"}, true},
    {"changelog", changelog, false, {"format", "version", "out"}},
};

// The settings folder, help and the login for this run go with every command; "updated" is what
// the program gives itself when it starts again after updating itself.
constexpr const char* commonOptions[] = {"settings", "help", "user", "password", "channel", "product", "updated"};

bool isOneOf(const std::string& name, const OwnOptions& own)
{
    for (const char* option : commonOptions)
        if (name == option)
            return true;
    for (const char* option : own)
        if (option != nullptr && name == option)
            return true;
    return false;
}

const Command* find(const std::string& word)
{
    for (const Command& command : commands)
    {
        if (word == command.word)
            return &command;
    }
    return nullptr;
}
}

bool mayChangeStoredState(const Args& args)
{
    const Command* command = find(args.command);
    return command != nullptr && command->changes && !args.positionalAt(0).empty();
}

bool isCommand(const std::string& word) { return find(word) != nullptr; }

bool checkOptions(const Args& args)
{
    const Command* command = find(args.command);
    if (command == nullptr)
        return true;
    for (const auto& option : args.options)
    {
        const std::string& name = option.first;
        if (isOneOf(name, command->options))
            continue;
        if (command->refusesUnknownOptions)
        {
            std::cerr << "Unknown option: --" << name << "\n\n";
            usage();
            return false;
        }
        std::cerr << "warning: Unknown option: --" << name << "; it is ignored\n";
    }
    return true;
}

int dispatch(PluginManager& manager, const Args& args)
{
    if (const Command* command = find(args.command))
        return command->handler(manager, args);
    std::cerr << "Unknown command: " << args.command << "\n\n";
    usage();
    return 1;
}
}
