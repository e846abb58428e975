#pragma once

#include <functional>
#include <string>

#include <sys/resource.h>

namespace testSupport
{
// Runs body in a forked copy of the test process and answers its return value as the child's
// exit code, or -1 when the child did not exit normally. For cases that change what a process
// cannot take back (its user, its working folder, its limits). The body must not use gtest
// assertions.
int runInChild(const std::function<int()>& body);

// The same for a body that answers a text, which reaches the test through a pipe.
std::string inChild(const std::function<std::string()>& body);

// In a child started as root, switches to the unprivileged "nobody" ids so that file permissions
// apply again. True when the process now runs as a user other than root.
bool dropRootPrivileges();

// In a child, makes every write beyond bytes fail as on a full disk instead of ending the process.
// True when the limit holds.
bool limitFileSize(rlim_t bytes);
}
