#include "manager/http/threadStart.h"

#include "manager/platform/buildSeams.h"

#include <system_error>

namespace pluginManager
{
bool startThread(std::thread& thread, std::function<void()> body)
{
    if (!mayStartThread())
        return false;
    try
    {
        thread = std::thread(std::move(body));
        return true;
    }
    catch (const std::system_error&)
    {
        return false;
    }
}
}
