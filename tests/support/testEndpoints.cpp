#include "support/testEndpoints.h"

#include <atomic>

namespace testSupport
{
namespace
{
pluginManager::Urls& loopbackEndpoints()
{
    static pluginManager::Urls endpoints = loopbackUrls(closedLoopbackBase());
    return endpoints;
}

int& textRequestLimit()
{
    static int milliseconds = pluginManager::textRequestLimitMs;
    return milliseconds;
}

std::atomic<int>& retryWaited()
{
    static std::atomic<int> milliseconds{0};
    return milliseconds;
}
}

void pointEndpointsAt(const std::string& base) { loopbackEndpoints() = loopbackUrls(base); }

void limitTextRequests(int milliseconds)
{
    textRequestLimit() = milliseconds > 0 ? milliseconds : pluginManager::textRequestLimitMs;
}

int retryWaitMilliseconds() { return retryWaited().exchange(0); }
}

namespace pluginManager
{
// The test builds' definitions of the fixed endpoints, limit and wait, in place of the shipped ones.
const Urls& urls() { return testSupport::loopbackEndpoints(); }
int textRequestMilliseconds() { return testSupport::textRequestLimit(); }
void waitBeforeAskingAgain(int milliseconds) { testSupport::retryWaited() += milliseconds; }
}
