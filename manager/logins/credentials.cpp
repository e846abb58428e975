#include "manager/logins/credentials.h"

#include "manager/catalog/serverFolder.h"
#include "manager/logins/loginFile.h"
#include "manager/platform/platformUtils.h"
#include "manager/platform/storedFile.h"
#include "manager/platform/xml.h"

#include <juce_core/juce_core.h>

namespace pluginManager
{
namespace
{
const std::string donatorsPrefix = "donators:";

std::string settingsFile() { return PlatformUtils::getSettingsPath("credentials.xml"); }
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
            return donatorsPrefix + serverFolderName(slug);
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

bool CredentialStore::set(Channel channel, const std::string& slug, const Credentials& login, bool save,
                          std::string& error)
{
    const auto key = keyFor(channel, slug);
    if (key.empty())
        return true;
    entries[key] = login;
    return !save || this->save(error);
}

bool CredentialStore::clear(Channel channel, const std::string& slug, bool save, std::string& error)
{
    const auto key = keyFor(channel, slug);
    if (key.empty())
        return true;
    entries.erase(key);
    return !save || this->save(error);
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

bool CredentialStore::save(std::string& error) const
{
    juce::XmlElement root("credentials");
    for (const auto& [key, login] : entries)
    {
        auto* element = root.createNewChildElement("login");
        element->setAttribute("key", juce::String(key));
        element->setAttribute("user", juce::String(login.user));
        element->setAttribute("pw", juce::String(LoginFile::hide(login.password, key)));
    }

    // The mode is given to the new file before it takes the name: set by name afterwards, it would
    // reach whatever stands there, such as the file a link there leads to.
    return saveStoredFile(settingsFile(), root.toString().toStdString(), FileAccess::OwnerOnly, checkXml, error);
}

void CredentialStore::load()
{
    entries.clear();

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
