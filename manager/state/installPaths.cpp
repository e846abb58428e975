#include "manager/state/installPaths.h"

#include "manager/platform/storedFile.h"
#include "manager/platform/xml.h"

#include <juce_core/juce_core.h>

#include <cmath>
#include <memory>
#include <vector>

namespace pluginManager
{
namespace
{
std::string settingsFile() { return PlatformUtils::getSettingsPath("settings.xml"); }

std::string attribute(const juce::XmlElement& element, const char* name)
{
    return element.getStringAttribute(name).toStdString();
}

// Element names are matched without regard to case, as files written by hand may spell them
// otherwise. (XmlElement::hasTagName would do the same but asserts on such names.)
bool isNamed(const juce::XmlElement& element, const char* name)
{
    return element.getTagName().equalsIgnoreCase(name);
}

// Times are stored as doubles; anything that is no number of seconds in the 64-bit range reads
// as unknown, as converting it would be undefined.
std::int64_t secondsFrom(double value)
{
    if (!std::isfinite(value) || value >= 0x1p63 || value < -0x1p63)
        return 0;
    return static_cast<std::int64_t>(value);
}
}

InstallPaths::InstallPaths(bool load)
{
    if (load)
        this->load();
}

std::string InstallPaths::keyFor(const std::string& product, PluginFormat format)
{
    return product + "/" + PlatformUtils::formatToString(format);
}

std::string InstallPaths::get(PluginFormat format) const
{
    const auto it = formatPaths.find(format);
    if (it != formatPaths.end())
        return it->second;
    return PlatformUtils::getDefaultPluginPath(format);
}

std::string InstallPaths::get(const std::string& product, PluginFormat format) const
{
    const auto it = productPaths.find(keyFor(product, format));
    if (it != productPaths.end())
        return it->second;
    return get(format);
}

bool InstallPaths::isCustom(PluginFormat format) const
{
    return formatPaths.count(format) != 0;
}

bool InstallPaths::isCustom(const std::string& product, PluginFormat format) const
{
    return productPaths.count(keyFor(product, format)) != 0;
}

void InstallPaths::set(PluginFormat format, const std::string& path)
{
    if (path.empty() || path == PlatformUtils::getDefaultPluginPath(format))
        formatPaths.erase(format);
    else
        formatPaths[format] = path;
}

void InstallPaths::set(const std::string& product, PluginFormat format, const std::string& path)
{
    const auto key = keyFor(product, format);
    if (path.empty() || path == get(format))
        productPaths.erase(key);
    else
        productPaths[key] = path;
}

void InstallPaths::setSelfBuild(std::string listed, std::int64_t modified)
{
    selfBuildListed = std::move(listed);
    selfBuildModified = modified;
}

void InstallPaths::setHidden(const std::string& product, bool hidden)
{
    if (hidden)
        hiddenProducts.insert(product);
    else
        hiddenProducts.erase(product);
}

void InstallPaths::setCollapsed(const std::string& category, bool collapsed)
{
    if (collapsed)
        collapsedCategories.insert(category);
    else
        collapsedCategories.erase(category);
}

std::vector<PluginFormat> InstallPaths::getFormats()
{
    return {PluginFormat::VST2, PluginFormat::VST3, PluginFormat::CLAP, PluginFormat::LV2, PluginFormat::Standalone};
}

bool InstallPaths::save(std::string& error) const
{
    std::vector<std::unique_ptr<juce::XmlElement>> children;
    const auto child = [&children](const char* name) {
        children.push_back(std::make_unique<juce::XmlElement>(name));
        return children.back().get();
    };

    for (const auto& [format, path] : formatPaths)
    {
        auto* element = child("installPath");
        element->setAttribute("format", juce::String(PlatformUtils::formatToString(format)));
        element->setAttribute("path", juce::String(path));
    }

    for (const auto& [key, path] : productPaths)
    {
        const auto split = key.rfind('/');
        auto* element = child("installPath");
        element->setAttribute("product", juce::String(key.substr(0, split)));
        element->setAttribute("format", juce::String(split == std::string::npos ? std::string() : key.substr(split + 1)));
        element->setAttribute("path", juce::String(path));
    }

    if (teamLogin)
        child("teamLogin")->setAttribute("enabled", "1");

    if (!selfBuildListed.empty() || selfBuildModified != 0)
    {
        auto* element = child("selfBuild");
        element->setAttribute("listed", juce::String(selfBuildListed));
        element->setAttribute("modified", static_cast<double>(selfBuildModified));
    }

    for (const auto& product : hiddenProducts)
        child("hidden")->setAttribute("product", juce::String(product));

    for (const auto& category : collapsedCategories)
        child("collapsed")->setAttribute("category", juce::String(category));

    for (const auto& text : preservedElements)
    {
        std::unique_ptr<juce::XmlElement> element;
        std::string ignored;
        if (parseXml(text, element, ignored))
            children.push_back(std::move(element));
    }

    // From the last one back: adding at the end walks the whole list of children each time, and a
    // file may keep many elements of a newer version.
    juce::XmlElement root("pluginManager");
    for (auto it = children.rbegin(); it != children.rend(); ++it)
        root.prependChildElement(it->release());
    return saveStoredFile(settingsFile(), root.toString().toStdString(), FileAccess::Shared, checkXml, error);
}

void InstallPaths::load()
{
    *this = InstallPaths(false);

    std::string text, why;
    std::unique_ptr<juce::XmlElement> root;
    readStatus = readStoredFile(settingsFile(), text);
    if (readStatus.kind != ReadStatus::Kind::Read)
        return;
    if (!parseXml(text, root, why))
    {
        readStatus.refuse(why);
        return;
    }

    for (const auto* element : root->getChildIterator())
    {
        // Stray text between the elements is no setting and could not be written back.
        if (element->isTextElement())
            continue;
        if (isNamed(*element, "installPath"))
        {
            const auto format = PlatformUtils::formatFromString(attribute(*element, "format"));
            const auto path = attribute(*element, "path");
            const auto product = attribute(*element, "product");
            if (format == PluginFormat::Unknown || path.empty())
                continue;
            if (product.empty())
                formatPaths[format] = path;
            else
                productPaths[keyFor(product, format)] = path;
        }
        else if (isNamed(*element, "teamLogin"))
        {
            teamLogin = element->getIntAttribute("enabled", 1) != 0;
        }
        else if (isNamed(*element, "selfBuild"))
        {
            selfBuildListed = attribute(*element, "listed");
            selfBuildModified = secondsFrom(element->getDoubleAttribute("modified"));
        }
        else if (isNamed(*element, "hidden"))
        {
            const auto product = attribute(*element, "product");
            if (!product.empty())
                hiddenProducts.insert(product);
        }
        else if (isNamed(*element, "collapsed"))
        {
            collapsedCategories.insert(attribute(*element, "category"));
        }
        else if (isNamed(*element, "view"))
        {
            // Front-end layout of an older version; no longer kept.
        }
        else
        {
            preservedElements.push_back(oneLineXml(*element));
        }
    }
}
}
