#include "cli/readWarnings.h"

#include "manager/platform/log.h"
#include "manager/pluginManager.h"

#include <iostream>
#include <string>
#include <utility>

namespace pluginManager
{
void warnOfUnreadFiles(const PluginManager& manager)
{
    const std::pair<const ReadStatus&, const char*> files[] = {
        {manager.credentials.readStatus, "the logins"},
        {manager.installPaths.readStatus, "the install locations and settings"},
        {manager.installed.readStatus, "the install record"}};
    for (const auto& [status, holds] : files)
    {
        if (!status.failed())
            continue;
        const std::string warning = "warning: could not read " + status.path + " (" + status.why +
                                    "); going on without " + holds + " it holds";
        std::cerr << warning << "\n";
        Log::write(warning);
    }
}
}
