#pragma once

#include "manager/catalog/asset.h"
#include "manager/platform/platformUtils.h"
#include "manager/platform/storedFile.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace pluginManager
{
// What this program installed, kept in installed.json: per product and format the version, where
// it lies, and the top-level items the install put into the plug-in folder, so that an uninstall
// removes exactly those and nothing another install still uses. Only save() writes the file.
class InstalledPlugins
{
public:
    struct Entry
    {
        std::string product;
        std::string format; // as the build names it, such as "VST3"
        std::string version;
        std::string path;   // the plug-in file or bundle
        std::string time;   // when the record was written, ISO 8601 local time
        std::string listed; // the catalog date of the build, or empty
        std::int64_t modified = 0; // the server's Last-Modified of the build, seconds since 1970; 0 unknown
        std::vector<std::string> files; // top-level items in the folder of path, in install order
    };

    explicit InstalledPlugins(bool load);

    // Replaces the record by installed.json; a missing or broken file gives an empty record, and
    // readStatus says which it was.
    void load();
    // Writes installed.json, leaving out installs no longer on disk but unfinished, the record of an
    // install whose items are not in place yet; a failure leaves the old file and says why.
    bool save(std::string& error, const Entry* unfinished = nullptr) const;

    // The first record of product and format lying directly in folder. Valid until the record
    // changes.
    const Entry* findEntry(const std::string& product, PluginFormat format, const std::string& folder) const;
    // The full path of an installed item of product and format in folder, or empty. An item that
    // another record in folder lists too is no sign of this install: that one may have put it there.
    std::string installedFile(const std::string& product, PluginFormat format, const std::string& folder) const;
    // The installed version in folder, or empty.
    std::string getVersion(const std::string& product, PluginFormat format, const std::string& folder) const;

    // Records an install of asset into folder, replacing the record of its product and format in
    // any folder. Nothing is recorded when the format has no plug-in file name or folder is empty.
    void set(const Asset& asset, const std::string& folder, std::vector<std::string> files, std::int64_t modified);
    // items, followed by the items the record of product and format in folder lists that are still
    // there: an item an earlier build put into folder stays named after an install of a build that
    // no longer ships it, so that it is removed with the plug-in and never left behind unnamed.
    std::vector<std::string> withEarlierItems(const std::string& product, PluginFormat format,
                                              const std::string& folder, std::vector<std::string> items) const;
    // The first record of product and format, in any folder, or null. Valid until the record changes.
    const Entry* recordOf(const std::string& product, PluginFormat format) const;
    // Forgets the first record of product and format, in any folder.
    void remove(const std::string& product, PluginFormat format);

    // Full paths of the recorded items that uninstalling product and format from folder may
    // delete: items another install in the same folder also lists stay, unless that install is
    // among removals, the pairs the same uninstall removes.
    std::vector<std::string> filesToRemove(const std::string& product, PluginFormat format, const std::string& folder,
                                           const std::vector<std::pair<std::string, PluginFormat>>& removals) const;

    std::vector<Entry> entries;
    // What the last load found; NotThere until one.
    ReadStatus readStatus;
};
}
