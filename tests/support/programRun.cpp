#include "support/programRun.h"

#include "manager/platform/platformUtils.h"
#include "manager/state/installPaths.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace testSupport
{
ProgramRun::ProgramRun(std::string serverRoot) : m_serverRoot(std::move(serverRoot))
{
    std::filesystem::create_directories(temporaryFolder());
}

ProcessResult ProgramRun::operator()(std::vector<std::string> arguments, const EnvironmentChanges& more) const
{
    arguments.insert(arguments.end(), {"--settings", settingsFolder()});
    ProcessOptions options{homeEnvironment(home()), home()};
    options.environment.insert({{"VYRPM_TEST_SERVER", m_serverRoot}, {"TMPDIR", temporaryFolder()}});
    for (const auto& [name, value] : more)
        options.environment[name] = value;
    return runProcess(VYRPM_TEST_BINARY, arguments, options);
}

void ProgramRun::withSettings(const std::function<void()>& write) const
{
    pluginManager::PlatformUtils::setSettingsFolder(settingsFolder());
    write();
    pluginManager::PlatformUtils::setSettingsFolder("");
}

void ProgramRun::store(const StoredLogins& logins, bool teamLogin) const
{
    using namespace pluginManager;
    withSettings([&] {
        CredentialStore credentials(false);
        std::string error;
        for (const auto& [slug, login] : logins)
            credentials.set(slug.empty() ? Channel::Internal : Channel::Donators, slug, login, false, error);
        InstallPaths settings(false);
        settings.teamLogin = teamLogin;
        EXPECT_TRUE(credentials.save(error) && settings.save(error)) << error;
    });
}
}
