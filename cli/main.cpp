#include "cli/args.h"
#include "cli/commandLineLogin.h"
#include "cli/commands.h"
#include "cli/output.h"
#include "cli/readWarnings.h"
#include "cli/standardOutput.h"
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

// Taken before anything stored is loaded, so that a run waiting for another one works on what that
// one left. Without it a run goes on only where no run could have it (its saves then fail
// visibly, and the log says why); otherwise two runs could each undo what the other stored.
bool takeRunLock(RunLock& runLock)
{
    std::string error;
    switch (runLock.acquire([] { std::cerr << "Waiting for another run of vyrpm to finish\n"; }, error))
    {
        case RunLock::Result::Held:
            return true;
        case RunLock::Result::NoLockHere:
            Log::write(error);
            return true;
        case RunLock::Result::Failed:
            break;
    }
    std::cerr << error << ". Nothing was changed.\n";
    return false;
}

// The order below is what keeps a run that only asks for help, or gets its arguments wrong, from
// touching the settings folder: nothing reads, creates or logs anything before the settings
// folder is known and the command is one we will run.
int runCommand(const std::vector<std::string>& arguments)
{
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
    if (!checkOptions(args))
        return 1;

    if (args.has("settings"))
        PlatformUtils::setSettingsFolder(args.get("settings", ""));

    Log::start();

    RunLock runLock;
    if (mayChangeStoredState(args) && !takeRunLock(runLock))
        return 1;

    // A word that is no command loads nothing; the login given with it is checked all the same.
    // A login that cannot be applied ends the run before the command starts, so no command runs
    // with other logins than the user meant.
    PluginManager manager(isCommand(args.command));
    warnOfUnreadFiles(manager);
    if (!applyCommandLineLogin(manager, args, error))
    {
        std::cerr << error << "\n";
        return 1;
    }

    return dispatch(manager, args);
}
}

int main(int argc, char* argv[])
{
    const std::vector<std::string> arguments = argumentsAfterProgramName(argc, argv);

    // A worker run is the program asking itself for one job: nothing of a normal run may happen.
    int workerExitCode = 0;
    if (ElevatedTask::runAsWorker(arguments, workerExitCode))
        return workerExitCode;

    // A script that reads the output must not take a short one for the whole answer.
    StandardOutput standardOutput;
    const int exitCode = runCommand(arguments);
    std::string why;
    if (standardOutput.finish(why))
        return exitCode;
    std::cerr << "Could not write the output: " << why << "\n";
    return 1;
}
