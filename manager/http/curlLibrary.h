#pragma once

#include <string>

namespace pluginManager
{
// libcurl is opened on the first web request rather than by the loader at start-up, so a run that
// makes none (help, a usage error, the elevated worker) does not pay for binding it and the thirty
// libraries it brings.
class CurlLibrary
{
public:
    CurlLibrary() = delete;

    // Opens libcurl as the framework will, once per process; false with a message for the user
    // when it cannot be opened or lacks what the framework calls. The framework itself would go on
    // without it and crash.
    static bool load(std::string& error);
    // The message of a load that failed in this run; empty when none was tried or libcurl could
    // be used. A command that needed the network tells the user with it what no source's own
    // message says.
    static std::string failure();
};
}
