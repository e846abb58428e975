// What the test build of the program (vyrpmTestBinary) defines beside the library (buildSeams.h):
// every endpoint lies below the loopback server root named by VYRPM_TEST_SERVER, so end-to-end
// tests can run the whole program against their own server, and a run with VYRPM_TEST_THREADS set
// may start that many threads in all, as under a limit on the user's tasks. The shipped program
// never contains this file.
#include "support/testEndpoints.h"

#include <juce_core/juce_core.h>

#include <atomic>
#include <cstdlib>

namespace pluginManager
{
const Urls& urls()
{
    static const Urls endpoints = [] {
        const char* base = std::getenv("VYRPM_TEST_SERVER");
        // Without a server the run fails to connect rather than leaving this machine.
        return testSupport::loopbackUrls(base != nullptr && *base != '\0' ? base : testSupport::closedLoopbackBase());
    }();
    return endpoints;
}

int textRequestMilliseconds() { return textRequestLimitMs; }

void waitBeforeAskingAgain(int milliseconds) { juce::Thread::sleep(milliseconds); }

long long steadyMilliseconds() { return static_cast<long long>(juce::Time::getMillisecondCounterHiRes()); }

// VYRPM_TEST_THREADS counts every thread the run starts, also those that have ended since.
bool mayStartThread()
{
    static std::atomic<int> left = [] {
        const char* count = std::getenv("VYRPM_TEST_THREADS");
        return count != nullptr && *count != '\0' ? std::atoi(count) : -1;
    }();
    for (int now = left.load();;)
    {
        if (now < 0)
            return true;
        if (now == 0)
            return false;
        if (left.compare_exchange_weak(now, now - 1))
            return true;
    }
}
}
