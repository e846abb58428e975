#include "cli/textCommands.h"

#include "cli/args.h"
#include "cli/listingCommands.h"
#include "cli/output.h"
#include "manager/logins/loginFile.h"
#include "manager/pluginManager.h"

#include <iostream>
#include <string>
#include <vector>

namespace pluginManager
{
namespace
{
using changelogLib::Changelog;

const char* const textForm = "text";
const char* const markdownForm = "markdown";

// A version given as "1.2.0.7" or "01.2.0" names the same release as "1.2.0".
bool isWanted(const Changelog::Release& release, const std::string& wanted)
{
    return wanted.empty() || Changelog::versionToInt(release.version) == Changelog::versionToInt(wanted);
}

// The chosen releases, newest first, one blank line apart.
std::string renderReleases(const Changelog& changelog, const std::string& product, const std::string& wanted,
                           bool markdown)
{
    const std::string name = changelog.findProduct(product);
    std::string text;
    for (const Changelog::Release& release : changelog.getReleases(name))
    {
        if (release.version.empty() || !isWanted(release, wanted))
            continue;
        if (!text.empty())
            text += "\n";
        text += markdown ? Changelog::toMarkdown(release, name) : Changelog::toText(release, name);
    }
    return text;
}

// Every folder must have a login before anything is written: half a list would look complete
// to whoever receives it.
bool gatherLogins(const PluginManager& manager, const Args& args, std::vector<SharedLogin>& logins)
{
    for (size_t i = 0; !args.positionalAt(i).empty(); ++i)
    {
        const std::string& folder = args.positionalAt(i);
        const Credentials login = manager.credentials.get(Channel::Donators, folder);
        if (!login.isComplete())
        {
            std::cerr << "No donator login stored for " << folder << "\n";
            return false;
        }
        logins.push_back({folder, login.user, login.password});
    }
    return true;
}
}

int changelog(PluginManager& manager, const Args& args)
{
    const std::string& product = args.positionalAt(0);
    if (product.empty())
    {
        std::cerr << "changelog needs a product\n";
        return 1;
    }
    const std::string form = args.get("format", textForm);
    if (form != textForm && form != markdownForm)
    {
        std::cerr << "--format is text or markdown\n";
        return 1;
    }

    refresh(manager);
    Changelog changelog;
    std::string error;
    if (!manager.fetchChangelog(product, changelog, error))
    {
        std::cerr << error << "\n";
        return 1;
    }

    const std::string wanted = args.get("version", "");
    const std::string text = renderReleases(changelog, product, wanted, form == markdownForm);
    if (text.empty())
    {
        if (wanted.empty())
            std::cerr << "The changelog has nothing about " << product << "\n";
        else
            std::cerr << "The changelog of " << product << " has no version " << wanted << "\n";
        return 1;
    }
    return output(text, args.get("out", ""));
}

int share(PluginManager& manager, const Args& args)
{
    std::vector<SharedLogin> logins;
    if (!gatherLogins(manager, args, logins))
        return 1;
    if (logins.empty())
    {
        std::cerr << "share needs at least one product folder\n";
        return 1;
    }
    return output(LoginFile::write(logins), args.get("out", ""));
}
}
