#include "support/testEndpoints.h"

#include <atomic>

namespace testSupport
{
namespace
{
// Read only while tests run, after every static of the process is made.
pluginManager::Urls loopbackEndpoints = loopbackUrls(closedLoopbackBase());
int textRequestLimit = pluginManager::textRequestLimitMs;
std::atomic<int> retryWaited{0};
std::atomic<long long> detectionClock{0};
}

void pointEndpointsAt(const std::string& base) { loopbackEndpoints = loopbackUrls(base); }

void limitTextRequests(int milliseconds)
{
    textRequestLimit = milliseconds > 0 ? milliseconds : pluginManager::textRequestLimitMs;
}

int retryWaitMilliseconds() { return retryWaited.exchange(0); }

void passTime(int milliseconds) { detectionClock += milliseconds; }
}

namespace pluginManager
{
// The unit tests' definitions of what a build of the library must define (buildSeams.h), in place
// of the shipped ones.
const Urls& urls() { return testSupport::loopbackEndpoints; }
int textRequestMilliseconds() { return testSupport::textRequestLimit; }
void waitBeforeAskingAgain(int milliseconds) { testSupport::retryWaited += milliseconds; }
long long steadyMilliseconds() { return testSupport::detectionClock; }
bool mayStartThread() { return true; }
}
