#pragma once

#include <functional>
#include <thread>

namespace pluginManager
{
// Starts body on a new thread, held by thread (which must hold none). False, with thread left
// empty and body not run, when the build refuses a thread (mayStartThread) or the system gives
// none: std::thread throws then, under a limit on the user's tasks such as a container or a
// service manager sets, and every caller must go on without one.
bool startThread(std::thread& thread, std::function<void()> body);
}
