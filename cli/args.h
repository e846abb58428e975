#pragma once

#include "manager/catalog/asset.h"

#include <map>
#include <string>
#include <vector>

namespace pluginManager
{
// The parsed command line. Every option takes a value, either after "=" or as the next
// argument; there are no flags.
struct Args
{
    std::string command;
    // The positional arguments after the command, in command-line order.
    std::vector<std::string> positional;
    // Name without the leading "--" to value; a repeated option keeps the value given last.
    std::map<std::string, std::string> options;

    // Splits the arguments after the program name into positional arguments and options. The
    // command stays the first positional argument until takeCommand(). Stops at the first error; an
    // argument that is not UTF-8 fails the whole line before any is looked at.
    static bool parse(const std::vector<std::string>& arguments, Args& args, std::string& error);

    // Moves the first positional argument into command; false when there is none.
    bool takeCommand();

    // The positional argument at index (0 is the first after the command), or an empty text.
    const std::string& positionalAt(size_t index) const;
    // An option given with an empty value yields the empty value, not the default.
    std::string get(const std::string& name, const std::string& defaultValue) const;
    bool has(const std::string& name) const;
};

// "internal" and "donators" only; the public channel takes no login, so it is refused like any
// other word, and channel is left as it was.
bool parseChannel(const std::string& text, Channel& channel);
}
