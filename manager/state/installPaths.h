#pragma once

#include "manager/platform/platformUtils.h"
#include "manager/platform/storedFile.h"

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace pluginManager
{
// The user's settings other than logins, kept in settings.xml: custom install folders per format
// and per product, the team-login switch, the program's own build after a self-update, and what
// an interactive front end hides or collapses. Elements of the file it does not know are carried
// along and written back, so a file of a newer version loses nothing here. The setters never
// write; whoever changes something calls save().
class InstallPaths
{
public:
    explicit InstallPaths(bool load);

    // Replaces everything by the contents of settings.xml; a missing or broken file gives the
    // defaults, and readStatus says which it was.
    void load();
    // Replaces settings.xml whole; a failure leaves the old file and says why.
    bool save(std::string& error) const;

    // product + "/" + format text; written split at the last "/", so product names may hold "/".
    static std::string keyFor(const std::string& product, PluginFormat format);

    // The custom folder of the format, else its default folder (empty where there is none).
    std::string get(PluginFormat format) const;
    // The product's own folder for the format, else get(format).
    std::string get(const std::string& product, PluginFormat format) const;
    bool isCustom(PluginFormat format) const;
    bool isCustom(const std::string& product, PluginFormat format) const;

    // An empty path or the default folder removes the custom folder.
    void set(PluginFormat format, const std::string& path);
    // An empty path or get(format) removes the product's own folder.
    void set(const std::string& product, PluginFormat format, const std::string& path);
    void setSelfBuild(std::string listed, std::int64_t modified);
    void setHidden(const std::string& product, bool hidden);
    void setCollapsed(const std::string& category, bool collapsed);

    // The formats that have an install folder setting on this platform.
    static std::vector<PluginFormat> getFormats();

    std::map<PluginFormat, std::string> formatPaths;
    std::map<std::string, std::string> productPaths;
    bool teamLogin = false;
    std::string selfBuildListed;
    std::int64_t selfBuildModified = 0;
    std::set<std::string> hiddenProducts;
    std::set<std::string> collapsedCategories;
    // Unknown elements of settings.xml, each as its XML text on one line, in file order.
    std::vector<std::string> preservedElements;
    // What the last load found; NotThere until one.
    ReadStatus readStatus;
};
}
