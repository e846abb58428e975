#pragma once

#include "manager/catalog/asset.h"
#include "manager/install/elevatedTask.h"
#include "manager/logins/credentials.h"
#include "manager/platform/platformUtils.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace pluginManager
{
// Installs one build into an install location, one install at a time, and uninstalls an installed
// plug-in. A background install holds its own references to the shared states, so they outlive
// the installer object.
class PluginInstaller
{
public:
    using Progress = std::function<void(float)>;
    using Completion = std::function<void(bool, const std::string&)>;
    // Called with the top-level names of the build once they are known, before the first of them
    // is put into the location, on the install's thread.
    using ItemsReady = std::function<void(const std::vector<std::string>&)>;

    // progress reports the download only. An empty fileName means the format's standard file name.
    bool install(const Asset& asset, const Credentials& login, const std::string& location, const Progress& progress,
                 std::string& message, const std::string& fileName = {},
                 const std::shared_ptr<ElevatedBatch>& batch = {}, const ItemsReady& beforeCopy = {});

    // One whole install. On success message is the success text; on failure the failure's.
    static bool run(const Asset& asset, const Credentials& login, const std::string& location,
                    const std::string& fileName, const Progress& progress, const std::shared_ptr<bool>& cancel,
                    const std::shared_ptr<std::atomic<bool>>& busy,
                    const std::shared_ptr<std::vector<std::string>>& items, std::string& message,
                    const std::shared_ptr<ElevatedBatch>& batch, const ItemsReady& beforeCopy = {});

    // Runs the install on a background thread; progress and the completion arrive on the message
    // thread.
    void installAsync(const Asset& asset, const Credentials& login, const std::string& location, Progress progress,
                      Completion done, const std::string& fileName = {},
                      const std::shared_ptr<ElevatedBatch>& batch = {});

    // Clears what runs killed half-way left in location and in product's rom folder, and their
    // work folders: whatever no live run holds.
    static void clearAfterKilledRuns(const std::string& location, const std::string& product);

    // name: the product whose plug-in file is looked for and that the messages name; product: whose
    // rom folder receives the ROM files. files: what the install record lists; the ROM files of
    // every one of them are kept before anything is removed. deferred collects paths left for one
    // elevated removal; removedPath receives the path removed first. Either may be null.
    static bool uninstall(const std::string& name, const std::string& product, PluginFormat format,
                          const std::string& location, const std::vector<std::string>& files, std::string& message,
                          std::vector<std::string>* deferred = nullptr, std::string* removedPath = nullptr);

    // The top-level names the last successful install put into its location.
    std::shared_ptr<std::vector<std::string>> installedItems = std::make_shared<std::vector<std::string>>();
    // Set through setCancelled to stop the running download.
    std::shared_ptr<bool> cancelRequested = std::make_shared<bool>(false);
    // True while an install runs.
    std::shared_ptr<std::atomic<bool>> installing = std::make_shared<std::atomic<bool>>(false);
};
}
