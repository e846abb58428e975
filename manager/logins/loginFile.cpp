#include "manager/logins/loginFile.h"

#include "manager/platform/json.h"

#include <juce_core/juce_core.h>

#include <cstring>

namespace pluginManager
{
namespace
{
constexpr int sharedLoginVersion = 1;
// A shared-login text is pasted by hand; anything longer is not one and is refused unread.
constexpr size_t maxSharedLoginSize = 65536;

std::string mask(const std::string& text, const std::string& salt)
{
    static const size_t keyLength = std::strlen(loginMaskKey);
    std::string result(text);
    for (size_t i = 0; i < result.size(); ++i)
    {
        auto byte = static_cast<unsigned char>(result[i]);
        byte ^= static_cast<unsigned char>(loginMaskKey[i % keyLength]);
        if (!salt.empty())
            byte ^= static_cast<unsigned char>(salt[i % salt.size()]);
        result[i] = static_cast<char>(byte);
    }
    return result;
}

std::string textOf(const juce::var& object, const char* key)
{
    return object.getProperty(key, juce::var()).toString().toStdString();
}
}

std::string LoginFile::hide(const std::string& text, const std::string& salt)
{
    const auto masked = mask(text, salt);
    return juce::Base64::toBase64(masked.data(), masked.size()).toStdString();
}

std::string LoginFile::reveal(const std::string& base64, const std::string& salt)
{
    juce::MemoryOutputStream decoded;
    if (!juce::Base64::convertFromBase64(decoded, juce::String(base64)))
        return {};
    const std::string bytes(static_cast<const char*>(decoded.getData()), decoded.getDataSize());
    return mask(bytes, salt);
}

std::string LoginFile::write(const std::vector<SharedLogin>& logins)
{
    if (logins.empty())
        return {};

    juce::Array<juce::var> entries;
    for (const auto& login : logins)
    {
        auto* entry = new juce::DynamicObject();
        entry->setProperty("slug", juce::String(login.slug));
        entry->setProperty("user", juce::String(login.user));
        entry->setProperty("pw", juce::String(hide(login.password, login.slug)));
        entries.add(juce::var(entry));
    }

    auto* root = new juce::DynamicObject();
    root->setProperty("vyrLogin", sharedLoginVersion);
    root->setProperty("logins", entries);
    return juce::JSON::toString(juce::var(root), true, 15).toStdString();
}

bool LoginFile::parse(const std::string& text, std::vector<SharedLogin>& logins)
{
    logins.clear();
    if (text.empty() || text.size() > maxSharedLoginSize)
        return false;

    juce::var root;
    if (!parseJson(text, root) || !root.isObject())
        return false;
    // Read as a double and truncated by comparison: the framework's own conversion to int wraps a
    // large integer (4294967297 would read as 1) and is undefined for a large floating number.
    const double version = root.getProperty("vyrLogin", juce::var());
    if (!(version >= sharedLoginVersion && version < sharedLoginVersion + 1))
        return false;

    const auto* entries = root.getProperty("logins", juce::var()).getArray();
    if (entries == nullptr)
        return false;

    for (const auto& entry : *entries)
    {
        SharedLogin login;
        login.slug = textOf(entry, "slug");
        login.user = textOf(entry, "user");
        login.password = reveal(textOf(entry, "pw"), login.slug);
        if (login.slug.empty() || login.user.empty() || login.password.empty())
        {
            logins.clear();
            return false;
        }
        logins.push_back(std::move(login));
    }
    return !logins.empty();
}
}
