#include "manager/logins/credentials.h"

#include "manager/catalog/catalogSource.h"
#include "manager/logins/loginFile.h"
#include "manager/platform/platformUtils.h"
#include "manager/platform/storedFile.h"

#include <juce_core/juce_core.h>

namespace pluginManager
{
namespace
{
const std::string donatorsPrefix = "donators:";

juce::File settingsFile()
{
    return juce::File(PlatformUtils::getSettingsPath("credentials.xml"));
}
}

CredentialStore::CredentialStore(bool load)
{
    if (load)
        this->load();
}

std::string CredentialStore::keyFor(Channel channel, const std::string& slug)
{
    switch (channel)
    {
        case Channel::Internal:
            return "internal";
        case Channel::Donators:
            return donatorsPrefix + CatalogSource::folderName(slug);
        default:
            return {};
    }
}

Credentials CredentialStore::get(Channel channel, const std::string& slug) const
{
    const auto key = keyFor(channel, slug);
    if (key.empty())
        return {};
    const auto it = entries.find(key);
    return it == entries.end() ? Credentials() : it->second;
}

void CredentialStore::set(Channel channel, const std::string& slug, const Credentials& login, bool save)
{
    const auto key = keyFor(channel, slug);
    if (key.empty())
        return;
    entries[key] = login;
    if (save)
        this->save();
}

void CredentialStore::clear(Channel channel, const std::string& slug, bool save)
{
    const auto key = keyFor(channel, slug);
    if (key.empty())
        return;
    entries.erase(key);
    if (save)
        this->save();
}

std::vector<std::string> CredentialStore::getSlugs(Channel channel) const
{
    std::vector<std::string> slugs;
    if (channel != Channel::Donators)
        return slugs;
    for (const auto& entry : entries)
    {
        const auto& key = entry.first;
        if (key.size() > donatorsPrefix.size() && key.compare(0, donatorsPrefix.size(), donatorsPrefix) == 0)
            slugs.push_back(key.substr(donatorsPrefix.size()));
    }
    return slugs;
}

void CredentialStore::save() const
{
    juce::XmlElement root("credentials");
    for (const auto& [key, login] : entries)
    {
        auto* element = root.createNewChildElement("login");
        element->setAttribute("key", juce::String(key));
        element->setAttribute("user", juce::String(login.user));
        element->setAttribute("pw", juce::String(LoginFile::hide(login.password, key)));
    }

    const auto file = settingsFile();
    file.getParentDirectory().createDirectory();
    const auto path = file.getFullPathName().toStdString();
    replaceStoredFile(path, root.toString().toStdString(), FileAccess::OwnerOnly);
    PlatformUtils::restrictToOwner(path);
}

void CredentialStore::load()
{
    entries.clear();

    const auto root = juce::parseXML(settingsFile());
    if (root == nullptr)
        return;

    for (const auto* element : root->getChildIterator())
    {
        // XML names are case-sensitive; the framework's hasTagName is not.
        if (element->getTagName() != "login")
            continue;

        const auto key = element->getStringAttribute("key").toStdString();
        if (key.empty())
            continue;

        Credentials login;
        login.user = element->getStringAttribute("user").toStdString();
        login.password = element->hasAttribute("password")
                             ? element->getStringAttribute("password").toStdString()
                             : LoginFile::reveal(element->getStringAttribute("pw").toStdString(), key);
        if (login.user.empty() || login.password.empty())
            continue;

        entries[key] = std::move(login);
    }
}
}
