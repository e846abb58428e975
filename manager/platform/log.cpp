#include "manager/platform/log.h"

#include "manager/platform/platformUtils.h"
#include "manager/platform/programInfo.h"

#include <juce_core/juce_core.h>

#include <cstdlib>
#include <memory>
#include <mutex>

namespace pluginManager
{
namespace
{
constexpr juce::int64 sizeLimitOnOpen = 262144;

std::mutex g_mutex;
bool g_wanted = false;
std::unique_ptr<juce::FileLogger> g_logger;

// Registered after the framework's object counters exist, so the logger is gone before they
// check for objects left at exit.
void releaseAtExit()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_logger.reset();
}

void openLogFile()
{
    const juce::File file(juce::String::fromUTF8(PlatformUtils::getSettingsPath("log.txt").c_str()));
    const juce::String welcome = juce::String(programName) + " " + programVersion;
    g_logger = std::make_unique<juce::FileLogger>(file, welcome, sizeLimitOnOpen);

    static bool exitHookRegistered = false;
    if (!exitHookRegistered)
        exitHookRegistered = std::atexit(releaseAtExit) == 0;
}
}

void Log::start()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_wanted = true;
}

void Log::stop()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_wanted = false;
    g_logger.reset();
}

void Log::write(const std::string& message)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_wanted)
        return;
    if (!g_logger)
        openLogFile();
    const juce::String line = juce::Time::getCurrentTime().toISO8601(true) + "  "
                              + juce::String::fromUTF8(message.data(), static_cast<int>(message.size()));
    g_logger->logMessage(line);
}
}
