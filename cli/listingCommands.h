#pragma once

namespace pluginManager
{
struct Args;

// Each handler yields the exit code; results go to the standard output, messages to the error
// stream.
int list(const Args& args);
int login(const Args& args);
int logout(const Args& args);
int teamlogin(const Args& args);
int paths(const Args& args);
}
