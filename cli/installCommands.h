#pragma once

namespace pluginManager
{
struct Args;

// Each handler yields the exit code; results go to the standard output, messages to the error
// stream.
int install(const Args& args);
int uninstall(const Args& args);
}
