#pragma once

namespace pluginManager
{
struct Args;

// The commands whose result is one text, delivered through output(): to the standard output, or
// with "--out" to a file. Each yields the exit code.
int changelog(const Args& args);
int share(const Args& args);
}
