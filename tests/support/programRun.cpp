#include "support/programRun.h"

#include <gtest/gtest.h>

namespace testSupport
{
ProcessResult ProgramRun::operator()(std::vector<std::string> arguments) const
{
    arguments.insert(arguments.end(), {"--settings", settingsFolder()});
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
