#pragma once

#include "manager/catalog/asset.h"
#include "manager/platform/storedFile.h"

#include <map>
#include <string>
#include <vector>

namespace pluginManager
{
// A login for a protected channel. It is sent or tried only when both fields are set.
struct Credentials
{
    std::string user;
    std::string password;

    bool isComplete() const { return !user.empty() && !password.empty(); }
};

// The logins the user entered, by channel and product folder, kept in credentials.xml with every
// password masked and the file readable by its owner alone. Nothing is written unless asked for.
class CredentialStore
{
public:
    // Reads credentials.xml at once when load is true.
    explicit CredentialStore(bool load);

    // "internal", or "donators:" + the product's folder name; empty for a channel without logins.
    static std::string keyFor(Channel channel, const std::string& slug);

    // Empty when there is none.
    Credentials get(Channel channel, const std::string& slug) const;
    // Replaces the login of the place, also by an incomplete one. False only when the save asked
    // for failed; the login stays in memory all the same.
    bool set(Channel channel, const std::string& slug, const Credentials& login, bool save, std::string& error);
    // With save, the file is written even when there was nothing to forget.
    bool clear(Channel channel, const std::string& slug, bool save, std::string& error);
    // The folder names of the stored donator logins, in key order; empty for other channels.
    std::vector<std::string> getSlugs(Channel channel) const;

    // Writes credentials.xml; a failed write leaves the previous file and says why.
    bool save(std::string& error) const;
    // Replaces the logins by those of credentials.xml; incomplete ones are left out. A missing or
    // broken file gives none, and readStatus says which it was.
    void load();

    std::map<std::string, Credentials> entries;
    // What the last load found; NotThere until one.
    ReadStatus readStatus;
};
}
