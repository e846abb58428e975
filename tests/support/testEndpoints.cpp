#include "support/testEndpoints.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

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
}

std::string closedLoopbackBase()
{
    // Borrow an ephemeral port from the system and give it back at once: nothing listens there
    // afterwards, so a connection is refused quickly instead of timing out.
    int port = 9;
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd >= 0)
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        socklen_t length = sizeof(address);
        if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
            getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            port = ntohs(address.sin_port);
        close(fd);
    }
    return "http://127.0.0.1:" + std::to_string(port) + "/";
}

void pointEndpointsAt(const std::string& base) { loopbackEndpoints() = loopbackUrls(base); }

void limitTextRequests(int milliseconds)
{
    textRequestLimit() = milliseconds > 0 ? milliseconds : pluginManager::textRequestLimitMs;
}
}

namespace pluginManager
{
// The test builds' definitions of the fixed endpoints and limit, in place of the shipped ones.
const Urls& urls() { return testSupport::loopbackEndpoints(); }
int textRequestMilliseconds() { return testSupport::textRequestLimit(); }
}
