#include "cli/commandLineLogin.h"

#include "cli/args.h"
#include "manager/pluginManager.h"

namespace pluginManager
{
bool applyCommandLineLogin(PluginManager& manager, const Args& args, std::string& error)
{
    if (!args.has("user") && !args.has("password"))
        return true;
    if (args.command == "login")
        return true;

    const Credentials login{args.get("user", ""), args.get("password", "")};
    if (!login.isComplete())
    {
        error = "--user and --password go together";
        return false;
    }

    const std::string channelText = args.get("channel", "internal");
    Channel channel = Channel::Internal;
    if (!parseChannel(channelText, channel))
    {
        error = "Unknown channel: " + channelText;
        return false;
    }

    manager.setCredentials(channel, args.get("product", ""), login);
    return true;
}
}
