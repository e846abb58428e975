// What end-to-end tests ask of a run of the test build at the steps by which it changes what the
// user keeps (ChangeSteps): with VYRPM_TEST_STEP=N the run ends at its Nth step as a kill would,
// or, when VYRPM_TEST_HOLD_FOLDER names a folder, creates the file "held" there and waits at that
// step until the test removes it. The shipped program never contains this file.
#include "manager/install/changeSteps.h"

#include <csignal>
#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <unistd.h>

namespace
{
// Set after ChangeSteps::onStep itself is made: it comes first in this file.
const bool hooked = [] {
    const char* step = std::getenv("VYRPM_TEST_STEP");
    const char* folder = std::getenv("VYRPM_TEST_HOLD_FOLDER");
    if (step == nullptr)
        return false;
    const std::string held = folder != nullptr ? std::string(folder) + "/held" : "";
    pluginManager::ChangeSteps::onStep = [at = std::atoi(step), held, done = 0]() mutable {
        if (++done != at)
            return;
        if (held.empty())
            std::raise(SIGKILL);
        ::close(::open(held.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
        while (::access(held.c_str(), F_OK) == 0)
            ::usleep(1000);
    };
    return true;
}();
}
