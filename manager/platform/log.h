#pragma once

#include <string>

namespace pluginManager
{
// The process-wide log, log.txt in the settings folder. Lines are dropped until start(); the
// file is opened by the first line after it, so a run that logs nothing leaves no file. Safe to
// call from any thread.
class Log
{
public:
    Log() = delete;

    static void start();
    // Drops later lines and closes the file; the next start() and line open it afresh.
    static void stop();
    static void write(const std::string& message);
};
}
