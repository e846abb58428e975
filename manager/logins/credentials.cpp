#include "manager/logins/credentials.h"

#include "manager/catalog/catalogSource.h"
#include "manager/logins/loginFile.h"
#include "manager/platform/platformUtils.h"

#include <juce_core/juce_core.h>

#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

namespace pluginManager
{
namespace
{
const std::string donatorsPrefix = "donators:";

juce::File settingsFile()
{
    return juce::File(PlatformUtils::getSettingsPath("credentials.xml"));
}

bool writeAll(int fd, const std::string& text)
{
    size_t written = 0;
    while (written < text.size())
    {
        const auto result = ::write(fd, text.data() + written, text.size() - written);
        if (result < 0 && errno == EINTR)
            continue;
        if (result <= 0)
            return false;
        written += static_cast<size_t>(result);
    }
    return true;
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

bool CredentialStore::writePrivateFile(const std::string& path, const std::string& text)
{
    const auto temporary = path + ".tmp";
    // A sibling left by an interrupted write may carry other permissions; it is never reused.
    ::unlink(temporary.c_str());
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;

    const bool written = writeAll(fd, text) && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || std::rename(temporary.c_str(), path.c_str()) != 0)
    {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
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
    writePrivateFile(path, root.toString().toStdString());
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
