#include "cli/args.h"

#include "manager/platform/utf8.h"

namespace pluginManager
{
namespace
{
// A single "-" or "-x" is positional: only "--" starts an option.
bool isOption(const std::string& argument) { return argument.compare(0, 2, "--") == 0; }
}

bool Args::parse(const std::vector<std::string>& arguments, Args& args, std::string& error)
{
    // The framework would read such an argument as another encoding, so a name other than the one
    // typed would be stored or used, and a byte of it could reach the terminal as a control character.
    for (size_t i = 0; i < arguments.size(); ++i)
    {
        if (!isUtf8(arguments[i]))
        {
            error = "Could not read argument " + std::to_string(i + 1) + ": it is not UTF-8 text";
            return false;
        }
    }

    for (size_t i = 0; i < arguments.size(); ++i)
    {
        const std::string& argument = arguments[i];
        if (!isOption(argument))
        {
            args.positional.push_back(argument);
            continue;
        }

        const std::string text = argument.substr(2);
        const size_t equals = text.find('=');
        if (equals != std::string::npos)
        {
            // Everything after the first "=" is the value, so values may hold "=" or begin with "--".
            args.options[text.substr(0, equals)] = text.substr(equals + 1);
            continue;
        }

        // Without "=", the value is the next argument; an option there means this one was left
        // without a value rather than being a value itself.
        if (i + 1 >= arguments.size() || isOption(arguments[i + 1]))
        {
            error = "Missing value for --" + text;
            return false;
        }
        args.options[text] = arguments[++i];
    }
    return true;
}

bool Args::takeCommand()
{
    if (positional.empty())
        return false;
    command = positional.front();
    positional.erase(positional.begin());
    return true;
}

const std::string& Args::positionalAt(size_t index) const
{
    static const std::string none;
    return index < positional.size() ? positional[index] : none;
}

std::string Args::get(const std::string& name, const std::string& defaultValue) const
{
    const auto it = options.find(name);
    return it != options.end() ? it->second : defaultValue;
}

bool Args::has(const std::string& name) const { return options.count(name) != 0; }

bool parseChannel(const std::string& text, Channel& channel)
{
    if (text == "internal")
        channel = Channel::Internal;
    else if (text == "donators")
        channel = Channel::Donators;
    else
        return false;
    return true;
}
}
