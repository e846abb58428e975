#pragma once

#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace testSupport
{
// Changes to the test process's own environment: std::nullopt removes the variable.
using EnvironmentChanges = std::map<std::string, std::optional<std::string>>;

// An exit code, standard output and error stream, to be compared in one go.
using Outcome = std::tuple<int, std::string, std::string>;

struct ProcessOptions
{
    EnvironmentChanges environment;
    std::string workingFolder; // empty: the test process's own
};

struct ProcessResult
{
    int exitCode = -1; // 128 + the signal number when a signal ended the program
    std::string out;
    std::string err; // when the program could not start, why

    Outcome outcome() const { return {exitCode, out, err}; }
};

// Without a shell, with an empty standard input; a name without "/" is looked up in PATH. A program
// still running after a minute is killed (exit code 137) and fails its test instead of stalling the suite.
ProcessResult runProcess(const std::string& program, const std::vector<std::string>& arguments,
                         const ProcessOptions& options = {});

// HOME set to home and XDG_DATA_HOME, XDG_CONFIG_HOME and VYR_DATA_FOLDER removed, so that a
// run's settings, data and log all land below home and nothing of the test machine's is seen.
EnvironmentChanges homeEnvironment(const std::string& home);
}
