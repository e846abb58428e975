#include "manager/state/installedPlugins.h"

#include "manager/platform/confinedPath.h"
#include "manager/platform/filePaths.h"
#include "manager/platform/json.h"
#include "manager/platform/storedFile.h"

#include <juce_core/juce_core.h>

#include <algorithm>
#include <cmath>

namespace pluginManager
{
namespace
{
std::string recordFile() { return PlatformUtils::getSettingsPath("installed.json"); }

bool parseRecord(const std::string& bytes, juce::var& root, std::string& why)
{
    if (!parseStoredJson(bytes, root, why))
        return false;
    if (root.isArray())
        return true;
    why = "not a JSON array";
    return false;
}

bool isRecord(const std::string& bytes, std::string& why)
{
    juce::var root;
    return parseRecord(bytes, root, why);
}

// A recorded path is the one the program wrote; a leading "~" in it is no home folder.
juce::File parentOf(const std::string& path)
{
    return literalFile(path).getParentDirectory();
}

// Installs put single items into a plug-in folder; a recorded name that would reach anything
// else is skipped, as an uninstall must never delete that.
juce::File itemIn(const std::string& folder, const std::string& name)
{
    return ConfinedPath::item(toFile(folder), name);
}

bool lists(const std::vector<std::string>& names, const std::string& name)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

using Pairs = std::vector<std::pair<std::string, PluginFormat>>;

// Whether a record other than owner, lying in owner's folder and not among removals, lists name.
bool sharedWith(const std::vector<InstalledPlugins::Entry>& entries, const InstalledPlugins::Entry& owner,
                const std::string& name, const Pairs& removals)
{
    const auto folder = parentOf(owner.path);
    const auto removedToo = [&](const InstalledPlugins::Entry& entry) {
        return std::any_of(removals.begin(), removals.end(), [&](const auto& removal) {
            return removal.first == entry.product && PlatformUtils::formatToString(removal.second) == entry.format;
        });
    };
    return std::any_of(entries.begin(), entries.end(), [&](const InstalledPlugins::Entry& other) {
        return &other != &owner && lists(other.files, name) && parentOf(other.path) == folder && !removedToo(other);
    });
}

std::string textOf(const juce::var& object, const char* key)
{
    return object.getProperty(key, juce::var()).toString().toStdString();
}

std::int64_t secondsOf(const juce::var& value)
{
    if (value.isDouble())
    {
        // Outside the 64-bit range the conversion would be undefined; such a time is unknown.
        const double seconds = value;
        if (!std::isfinite(seconds) || seconds >= 0x1p63 || seconds < -0x1p63)
            return 0;
        return static_cast<std::int64_t>(seconds);
    }
    return static_cast<juce::int64>(value);
}

InstalledPlugins::Entry entryFrom(const juce::var& object)
{
    InstalledPlugins::Entry entry;
    entry.product = textOf(object, "product");
    entry.format = textOf(object, "format");
    entry.version = textOf(object, "version");
    entry.path = textOf(object, "path");
    entry.time = textOf(object, "time");
    entry.listed = textOf(object, "listed");
    entry.modified = secondsOf(object.getProperty("modified", juce::var()));
    if (const auto* files = object.getProperty("files", juce::var()).getArray())
    {
        for (const auto& file : *files)
        {
            auto name = file.toString().toStdString();
            if (!name.empty())
                entry.files.push_back(std::move(name));
        }
    }
    return entry;
}

juce::var objectFrom(const InstalledPlugins::Entry& entry)
{
    auto* object = new juce::DynamicObject();
    object->setProperty("product", juce::String(entry.product));
    object->setProperty("format", juce::String(entry.format));
    object->setProperty("version", juce::String(entry.version));
    object->setProperty("path", juce::String(entry.path));
    object->setProperty("time", juce::String(entry.time));
    if (!entry.listed.empty())
        object->setProperty("listed", juce::String(entry.listed));
    if (entry.modified != 0)
        object->setProperty("modified", static_cast<juce::int64>(entry.modified));
    if (!entry.files.empty())
    {
        juce::Array<juce::var> files;
        for (const auto& name : entry.files)
            files.add(juce::String(name));
        object->setProperty("files", files);
    }
    return juce::var(object);
}
}

InstalledPlugins::InstalledPlugins(bool load)
{
    if (load)
        this->load();
}

const InstalledPlugins::Entry* InstalledPlugins::findEntry(const std::string& product, PluginFormat format,
                                                           const std::string& folder) const
{
    const auto formatText = PlatformUtils::formatToString(format);
    const auto folderFile = toFile(folder);
    for (const auto& entry : entries)
        if (entry.product == product && entry.format == formatText && parentOf(entry.path) == folderFile)
            return &entry;
    return nullptr;
}

std::string InstalledPlugins::installedFile(const std::string& product, PluginFormat format,
                                            const std::string& folder) const
{
    if (const auto* entry = findEntry(product, format, folder))
    {
        for (const auto& name : entry->files)
        {
            const auto item = itemIn(folder, name);
            if (item != juce::File() && item.exists() && !sharedWith(entries, *entry, name, {}))
                return pathOf(item);
        }
    }

    const auto path = PlatformUtils::installedFilePath(product, format, folder);
    if (!path.empty() && toFile(path).exists())
        return path;
    return {};
}

std::string InstalledPlugins::getVersion(const std::string& product, PluginFormat format,
                                         const std::string& folder) const
{
    if (installedFile(product, format, folder).empty())
        return {};
    if (const auto* entry = findEntry(product, format, folder))
        return entry->version;
    return PlatformUtils::getInstalledVersion(product, format, folder);
}

void InstalledPlugins::set(const Asset& asset, const std::string& folder, std::vector<std::string> files,
                           std::int64_t modified)
{
    const auto path =
        PlatformUtils::installedFilePath(asset.product, PlatformUtils::formatFromString(asset.format), folder);
    if (path.empty())
        return;

    auto it = std::find_if(entries.begin(), entries.end(), [&](const Entry& entry)
                           { return entry.product == asset.product && entry.format == asset.format; });
    if (it == entries.end())
    {
        Entry entry;
        entry.product = asset.product;
        entry.format = asset.format;
        it = entries.insert(entries.end(), std::move(entry));
    }

    it->version = asset.version;
    it->path = path;
    it->time = juce::Time::getCurrentTime().toISO8601(true).toStdString();
    it->listed = asset.date;
    it->modified = modified;
    it->files = std::move(files);
}

std::vector<std::string> InstalledPlugins::withEarlierItems(const std::string& product, PluginFormat format,
                                                            const std::string& folder,
                                                            std::vector<std::string> items) const
{
    if (const auto* earlier = findEntry(product, format, folder))
        for (const auto& name : earlier->files)
        {
            const auto item = itemIn(folder, name);
            if (!lists(items, name) && item != juce::File() && (item.exists() || item.isSymbolicLink()))
                items.push_back(name);
        }
    return items;
}

const InstalledPlugins::Entry* InstalledPlugins::recordOf(const std::string& product, PluginFormat format) const
{
    const auto formatText = PlatformUtils::formatToString(format);
    const auto it = std::find_if(entries.begin(), entries.end(), [&](const Entry& entry)
                                 { return entry.product == product && entry.format == formatText; });
    return it == entries.end() ? nullptr : &*it;
}

void InstalledPlugins::remove(const std::string& product, PluginFormat format)
{
    if (const Entry* entry = recordOf(product, format))
        entries.erase(entries.begin() + (entry - entries.data()));
}

std::vector<std::string> InstalledPlugins::filesToRemove(
    const std::string& product, PluginFormat format, const std::string& folder,
    const std::vector<std::pair<std::string, PluginFormat>>& removals) const
{
    const auto formatText = PlatformUtils::formatToString(format);
    const auto target = std::find_if(entries.rbegin(), entries.rend(), [&](const Entry& entry)
                                     { return entry.product == product && entry.format == formatText; });
    if (target == entries.rend() || target->files.empty() || parentOf(target->path) != toFile(folder))
        return {};

    std::vector<std::string> result;
    for (const auto& name : target->files)
    {
        const auto item = itemIn(folder, name);
        if (item != juce::File() && !sharedWith(entries, *target, name, removals))
            result.push_back(pathOf(item));
    }
    return result;
}

bool InstalledPlugins::save(std::string& error, const Entry* unfinished) const
{
    juce::Array<juce::var> records;
    for (const auto& entry : entries)
    {
        const auto folder = pathOf(parentOf(entry.path));
        if (&entry == unfinished
            || !installedFile(entry.product, PlatformUtils::formatFromString(entry.format), folder).empty())
            records.add(objectFrom(entry));
    }

    juce::MemoryOutputStream text;
    text.writeText(juce::JSON::toString(juce::var(records), false, 15), false, false, "\r\n");
    return saveStoredFile(recordFile(), std::string(static_cast<const char*>(text.getData()), text.getDataSize()),
                          FileAccess::Shared, isRecord, error);
}

void InstalledPlugins::load()
{
    entries.clear();

    std::string bytes, why;
    juce::var root;
    readStatus = readStoredFile(recordFile(), bytes);
    if (readStatus.kind != ReadStatus::Kind::Read)
        return;
    if (!parseRecord(bytes, root, why))
    {
        readStatus.refuse(why);
        return;
    }
    const auto* records = root.getArray();

    for (const auto& record : *records)
    {
        if (!record.isObject())
            continue;
        auto entry = entryFrom(record);
        if (!entry.product.empty() && !entry.version.empty() && !entry.path.empty())
            entries.push_back(std::move(entry));
    }
}
}
