#include "cli/args.h"
#include "cli/commandLineLogin.h"
#include "cli/commands.h"
#include "cli/output.h"
#include "manager/install/elevatedTask.h"
#include "manager/platform/log.h"
#include "manager/platform/platformUtils.h"
#include "manager/platform/runLock.h"
#include "manager/pluginManager.h"

#include <iostream>
#include <string>
#include <vector>

using namespace pluginManager;

namespace
{
std::vector<std::string> argumentsAfterProgramName(int argc, char* argv[])
{
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.emplace_back(argv[i]);
    return arguments;
}

int usageAfterError(const std::string& message)
{
    std::cerr << message << "\n\n";
    usage();
    return 1;
}
}

// The order below is what keeps a run that only asks for help, or gets its arguments wrong, from
// touching the settings folder: nothing reads, creates or logs anything before the settings
// folder is known and the command is one we will run.
int main(int argc, char* argv[])
{
    const std::vector<std::string> arguments = argumentsAfterProgramName(argc, argv);

    // A worker run is the program asking itself for one job: nothing of a normal run may happen.
    int workerExitCode = 0;
    if (ElevatedTask::runAsWorker(arguments, workerExitCode))
        return workerExitCode;

    Args args;
    std::string error;
    const bool parsed = Args::parse(arguments, args, error);

    if (arguments.empty())
    {
        usage();
        return 0;
    }
    if (!parsed)
        return usageAfterError(error);
    if (!args.takeCommand())
        return usageAfterError("No command given");

    if (args.command == "help" || args.has("help"))
    {
        usage();
        return 0;
    }

    if (args.has("settings"))
        PlatformUtils::setSettingsFolder(args.get("settings", ""));

    Log::start();

    // Taken before anything stored is loaded, so that a run waiting for another one works on what
    // that one left. A run that cannot have the lock goes on as it would have without it, and the
    // log says why: a settings folder that takes no lock file takes no stored file either.
    RunLock runLock;
    if (mayChangeStoredState(args) &&
        !runLock.acquire([] { std::cerr << "Waiting for another run of vyrpm to finish\n"; }, error))
        Log::write(error);

    // A login that cannot be applied ends the run before the command starts, so no command runs
    // with other logins than the user meant.
    PluginManager manager(true);
    if (!applyCommandLineLogin(manager, args, error))
    {
        std::cerr << error << "\n";
        return 1;
    }

    return dispatch(manager, args);
}
