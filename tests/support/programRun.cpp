#include "support/programRun.h"

#include <gtest/gtest.h>

namespace testSupport
{
ProgramRun::ProgramRun(std::string serverRoot) : m_serverRoot(std::move(serverRoot)) {}

ProcessResult ProgramRun::operator()(std::vector<std::string> arguments) const
{
    arguments.push_back("--settings");
    arguments.push_back(settingsFolder());
    ProcessOptions options;
    options.environment = homeEnvironment(home());
    options.environment["VYRPM_TEST_SERVER"] = m_serverRoot;
    options.workingFolder = home();
    ProcessResult result = runProcess(VYRPM_TEST_BINARY, arguments, options);
    EXPECT_TRUE(result.started) << result.error;
    EXPECT_FALSE(result.timedOut);
    return result;
}
}
