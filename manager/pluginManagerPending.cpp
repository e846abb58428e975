#include "manager/pluginManager.h"

#include "manager/http/httpClient.h"
#include "manager/install/elevatedTask.h"
#include "manager/platform/filePaths.h"
#include "manager/platform/firstError.h"
#include "manager/platform/log.h"

#include <juce_core/juce_core.h>

namespace pluginManager
{
namespace
{
std::string installLine(const Asset& asset, const std::string& destination)
{
    return "Install " + asset.product + " " + asset.format + " " + asset.version + " -> " + destination;
}
}

// Installs whose copy did not arrive are only logged: the user installs them again, so their work
// folders go with the others. An install that arrived is recorded where its job put it, which need
// not be the folder the next install would choose.
bool PluginManager::finishPending(ElevatedBatch& batch, std::string& error)
{
    if (batch.jobs.empty())
        return true;
    std::vector<bool> arrived;
    const bool ok = ElevatedTask::copyIntoMany(batch.jobs, arrived, error);
    FirstError unrecorded;
    for (size_t i = 0; i < batch.records.size() && i < arrived.size(); ++i)
    {
        const ElevatedBatch::Record& record = batch.records[i];
        Log::write(installLine(record.asset, batch.jobs[i].destination) + (arrived[i] ? ": ok" : ": " + error));
        std::string failure;
        if (arrived[i] && !recordInstall(record.asset, record.files, failure, batch.jobs[i].destination))
            unrecorded.keep(failure);
    }
    for (const std::string& folder : batch.workFolders)
        toFile(folder).deleteRecursively(false);
    batch.jobs.clear();
    batch.workFolders.clear();
    batch.records.clear();
    if (ok && !unrecorded.empty())
        error = unrecorded.text();
    return ok && unrecorded.empty();
}

// Without the server's time the listed date alone decides later whether a build is newer.
bool PluginManager::recordSelfUpdate(const Asset& asset, std::string& error)
{
    std::int64_t modified = 0;
    std::string ignored;
    if (!HttpClient::fetchLastModified(asset.url, modified, ignored, credentialsFor(asset)))
        modified = 0;
    installPaths.setSelfBuild(asset.date, modified);
    return installPaths.save(error);
}
}
