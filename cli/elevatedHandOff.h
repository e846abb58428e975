#pragma once

#include <string>
#include <vector>

namespace pluginManager
{
// The very first step of a run: when the arguments after the program name ask for the elevated
// worker, the worker does its job, exitCode receives its result and the answer is true; main then
// ends with that code before anything is parsed, logged or loaded. False means a normal run.
bool handOffToElevatedWorker(const std::vector<std::string>& arguments, int& exitCode);
}
