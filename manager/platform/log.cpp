#include "manager/platform/log.h"

#include "manager/platform/platformUtils.h"
#include "manager/platform/programInfo.h"

#include <juce_core/juce_core.h>

#include <memory>
#include <mutex>

namespace pluginManager
{
namespace
{
constexpr juce::int64 sizeLimitOnOpen = 262144;

// What the framework's file logger writes, without its echo of every line to the error stream in
// debug builds: there the echo would mix the log into the program's own output.
class LogFile
{
public:
    LogFile(const juce::File& file, const juce::String& welcome) : m_file(file)
    {
        juce::FileLogger::trimFileSize(m_file, sizeLimitOnOpen);
        if (!m_file.exists())
            m_file.create(); // creates the settings folder too
        juce::String block;
        block << juce::newLine << "**********************************************************" << juce::newLine
              << welcome << juce::newLine << "Log started: " << juce::Time::getCurrentTime().toString(true, true)
              << juce::newLine;
        append(block);
    }

    void append(const juce::String& line) const
    {
        juce::FileOutputStream out(m_file, 256);
        out << line << juce::newLine;
    }

private:
    juce::File m_file;
};

std::mutex g_mutex;
bool g_wanted = false;
std::unique_ptr<LogFile> g_logger;

void openLogFile()
{
    const juce::File file(juce::String::fromUTF8(PlatformUtils::getSettingsPath("log.txt").c_str()));
    const juce::String welcome = juce::String(programName) + " " + programVersion;
    g_logger = std::make_unique<LogFile>(file, welcome);
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
    g_logger->append(line);
}
}
