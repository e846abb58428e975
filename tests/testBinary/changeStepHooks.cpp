// What end-to-end tests ask of a run of the test build at the steps by which it changes what the
// user keeps (ChangeSteps): VYRPM_TEST_KILL_AT_STEP=N ends the run at its Nth step as a kill would;
// VYRPM_TEST_HOLD_AT_STEP=N holds it there: the run creates the file "held" in the folder
// VYRPM_TEST_HOLD_FOLDER and waits until the test has opened and closed the FIFO "go" there. The
// shipped program never contains this file.
#include "manager/install/changeSteps.h"

#include <csignal>
#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <unistd.h>

namespace
{
int stepNamed(const char* variable)
{
    const char* value = std::getenv(variable);
    return value != nullptr ? std::atoi(value) : 0;
}

void holdUntilReleased()
{
    const std::string folder = std::getenv("VYRPM_TEST_HOLD_FOLDER");
    ::close(::open((folder + "/held").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
    const int go = ::open((folder + "/go").c_str(), O_RDONLY | O_CLOEXEC);
    char byte = 0;
    while (go >= 0 && ::read(go, &byte, 1) > 0)
        continue;
    ::close(go);
}

// Set after ChangeSteps::onStep itself is made: it comes first in this file.
const bool hooked = [] {
    const int killAt = stepNamed("VYRPM_TEST_KILL_AT_STEP"), holdAt = stepNamed("VYRPM_TEST_HOLD_AT_STEP");
    if (killAt == 0 && holdAt == 0)
        return false;
    pluginManager::ChangeSteps::onStep = [killAt, holdAt, step = 0]() mutable {
        ++step;
        if (step == killAt)
            std::raise(SIGKILL);
        if (step == holdAt)
            holdUntilReleased();
    };
    return true;
}();
}
