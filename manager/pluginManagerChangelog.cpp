#include "manager/pluginManager.h"

#include "manager/http/httpClient.h"
#include "manager/sources/catalogSource.h"
#include "manager/sources/config.h"

namespace pluginManager
{
namespace
{
const char* const emptyChangelogMessage = "The changelog is empty.";
const char* const publicFetchPrefix = "Could not read the changelog: ";

// The internal folder first: the team's copy is the most complete one.
bool fetchPrivateText(const PluginManager::ChangelogRequest& request, std::string& text)
{
    if (request.slug.empty())
        return false;
    const std::pair<Channel, const Credentials*> attempts[] = {{Channel::Internal, &request.internal},
                                                               {Channel::Donators, &request.donators}};
    for (const auto& [channel, login] : attempts)
    {
        // A wrong or missing channel login only means the public copy is read instead, so its
        // error is of no use to the user.
        std::string ignored;
        if (login->isComplete() && CatalogSource::fetchChangelog(request.slug, channel, *login, text, ignored))
            return true;
    }
    return false;
}

bool parseText(const std::string& text, changelogLib::Changelog& changelog, std::string& error)
{
    if (changelog.parse(text))
        return true;
    error = emptyChangelogMessage;
    return false;
}
}

PluginManager::ChangelogRequest PluginManager::changelogRequestFor(const std::string& text) const
{
    ChangelogRequest request;
    const Product* owner = catalog.findOwningProduct(text);
    request.name = owner != nullptr ? owner->name : text;
    request.slug = owner != nullptr ? owner->slug : std::string();

    const CredentialStore logins = credentialsForFetch();
    request.internal = logins.get(Channel::Internal, {});
    request.donators = logins.get(Channel::Donators, request.slug);
    request.published = catalog.isPublished(text);
    // Without the team's login, versions the public has no build of yet stay unannounced.
    if (!request.internal.isComplete())
        request.newestPublishedVersion = catalog.getNewestPublishedVersion();
    return request;
}

bool PluginManager::fetchChangelog(const ChangelogRequest& request, changelogLib::Changelog& changelog,
                                   std::string& error)
{
    std::string text;
    if (fetchPrivateText(request, text))
        return parseText(text, changelog, error);

    if (!request.published)
    {
        error = "No changelog has been published for " + request.name + " yet.";
        return false;
    }
    std::string fetchError;
    if (!HttpClient::fetchString(urls().changelog, text, fetchError))
    {
        error = publicFetchPrefix + fetchError;
        return false;
    }
    if (!parseText(text, changelog, error))
        return false;
    if (!request.newestPublishedVersion.empty())
        changelog.dropNewerThan(request.newestPublishedVersion);
    return true;
}

bool PluginManager::fetchChangelog(const std::string& text, changelogLib::Changelog& changelog,
                                   std::string& error) const
{
    return fetchChangelog(changelogRequestFor(text), changelog, error);
}

void PluginManager::fetchChangelogAsync(const std::string& text, ChangelogCallback callback) const
{
    const ChangelogRequest request = changelogRequestFor(text);
    auto done = std::make_shared<ChangelogCallback>(std::move(callback));
    runAsync([request, done] {
        auto changelog = std::make_shared<changelogLib::Changelog>();
        std::string error;
        const bool ok = fetchChangelog(request, *changelog, error);
        return std::function<void()>([done, changelog, ok, error] {
            if (*done)
                (*done)(ok, *changelog, error);
        });
    });
}
}
