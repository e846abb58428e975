#pragma once

#include "support/processRunner.h"
#include "support/tempFolder.h"

#include <string>
#include <vector>

namespace testSupport
{
// Runs the test build of the program as a user would, against the loopback server at serverRoot
// (such as TestServer::url("/")): with a home folder of its own, nothing else of this machine's
// per-user folders, and its settings folder below the home folder given with --settings.
class ProgramRun
{
public:
    explicit ProgramRun(std::string serverRoot);

    // The arguments followed by "--settings" and settingsFolder().
    ProcessResult operator()(std::vector<std::string> arguments) const;

    const std::string& home() const { return m_home.path(); }
    std::string settingsFolder() const { return m_home.file("settings"); }
    // The path of a file in the settings folder, and its content (empty when there is none).
    std::string settingsFile(const std::string& name) const { return settingsFolder() + "/" + name; }
    std::string settingsText(const std::string& name) const { return readFile(settingsFile(name)); }

private:
    TempFolder m_home;
    std::string m_serverRoot;
};
}
