#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace testSupport
{
// Changes over the test process's own environment: a value sets the variable, std::nullopt
// removes it.
using EnvironmentChanges = std::map<std::string, std::optional<std::string>>;

struct ProcessOptions
{
    EnvironmentChanges environment;
    // Empty: the test process's own working folder.
    std::string workingFolder;
    // The child is killed once it runs this long, so a hanging program fails its test instead of
    // stalling the suite. A safety net, not a measurement.
    int timeoutSeconds = 60;
};

struct ProcessResult
{
    // False when the program could not be started at all; error says why.
    bool started = false;
    bool timedOut = false;
    // The exit status, or 128 + the signal number when a signal ended the program.
    int exitCode = -1;
    std::string out;
    std::string err;
    std::string error;
};

// Runs program with arguments, without a shell, with an empty standard input, and waits for it.
// A program name without "/" is looked up in PATH.
ProcessResult runProcess(const std::string& program, const std::vector<std::string>& arguments,
                         const ProcessOptions& options = {});

// A run that sees home as the user's home folder and nothing else of the test machine's per-user
// folders: HOME set, XDG_DATA_HOME, XDG_CONFIG_HOME and VYR_DATA_FOLDER removed. Settings, data
// and log then all land below home.
EnvironmentChanges homeEnvironment(const std::string& home);
}
