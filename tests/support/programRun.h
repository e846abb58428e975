#pragma once

#include "manager/logins/credentials.h"
#include "support/processRunner.h"
#include "support/tempFolder.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace testSupport
{
// Logins by product folder; an empty folder stands for the internal login.
using StoredLogins = std::vector<std::pair<std::string, pluginManager::Credentials>>;

// Runs the test build of the program as a user would, against the loopback server at serverRoot
// (such as TestServer::url("/")): with a home folder of its own, nothing else of this machine's
// per-user folders, "--settings" with a settings folder below the home folder after the
// arguments, and a temporary folder (TMPDIR) below the home folder, so that what a run leaves
// there can be seen.
class ProgramRun
{
public:
    explicit ProgramRun(std::string serverRoot = "");

    // more: further changes to the run's environment.
    ProcessResult operator()(std::vector<std::string> arguments, const EnvironmentChanges& more = {}) const;

    const std::string& home() const { return m_home.path(); }
    std::string settingsFolder() const { return m_home.file("settings"); }
    std::string temporaryFolder() const { return m_home.file("tmp"); }
    std::string settingsFile(const std::string& name) const { return settingsFolder() + "/" + name; }
    // Empty when there is no such file.
    std::string settingsText(const std::string& name) const { return readFile(settingsFile(name)); }
    // Runs write with the settings folder of the run, so that what it saves is there before the run.
    void withSettings(const std::function<void()>& write) const;
    // Logins and the team login switch as the program itself would have stored them.
    void store(const StoredLogins& logins, bool teamLogin = false) const;

private:
    TempFolder m_home;
    std::string m_serverRoot;
};
}
