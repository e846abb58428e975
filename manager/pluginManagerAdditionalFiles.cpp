#include "manager/pluginManager.h"

#include "manager/http/httpClient.h"
#include "manager/platform/confinedPath.h"
#include "manager/platform/filePaths.h"
#include "manager/platform/fileSteps.h"
#include "manager/platform/firstError.h"
#include "manager/platform/log.h"
#include "manager/platform/plainName.h"

#include <juce_core/juce_core.h>

#include <utility>

namespace pluginManager
{
namespace
{
// Downloads land beside their target first, so a cut-off transfer never replaces a good file.
const char* const downloadSuffix = ".vyr-download";
const char* const forbiddenInFileName = "/\\:";

std::string inQuotes(const std::string& text) { return '"' + text + '"'; }

std::string cutAt(std::string text, char mark) { return text.substr(0, text.find(mark)); }

// The last piece of the address, without query or fragment, unescaped; empty when that is no
// name a file could have.
std::string urlFileName(const std::string& url)
{
    const std::string path = cutAt(cutAt(url, '?'), '#');
    const std::string piece = path.substr(path.rfind('/') + 1);
    const std::string name = juce::URL::removeEscapeChars(juce::String::fromUTF8(piece.c_str())).toStdString();
    if (name.empty() || name == "." || name == ".." || name.find_first_of(forbiddenInFileName) != std::string::npos)
        return {};
    return name;
}

bool endsWithSeparator(const std::string& path) { return !path.empty() && (path.back() == '/' || path.back() == '\\'); }

// Counts what the downloads of one request did; the first failure is the one the summary names.
struct FilesOutcome
{
    std::string product;
    int installed = 0;
    int failures = 0;
    FirstError firstFailure;

    void fail(const std::string& failure)
    {
        Log::write("Additional file for " + product + ": " + failure);
        firstFailure.keep(failure);
        ++failures;
    }

    bool summary(std::string& message) const
    {
        if (failures > 0)
        {
            message = std::to_string(failures) + (failures == 1 ? " additional file" : " additional files") +
                      " could not be installed: " + firstFailure.text();
            return false;
        }
        if (installed > 0)
            message = std::to_string(installed) +
                      (installed == 1 ? " additional file installed" : " additional files installed");
        return true;
    }
};

// A file that is there is kept unless the server has a newer one; when the server cannot tell,
// the file stays too.
bool isUpToDate(const juce::File& target, const std::string& url, const Credentials& login)
{
    if (!target.existsAsFile())
        return false;
    int64_t remoteSeconds = 0;
    std::string error;
    if (!HttpClient::fetchLastModified(url, remoteSeconds, error, login))
        return true;
    return target.getLastModificationTime().toMilliseconds() / 1000 >= remoteSeconds;
}

void installDownload(const FileSection::Download& download, const juce::File& sectionFolder,
                     const std::string& sectionText, const PluginManager::FilesRequest& request,
                     FilesOutcome& outcome)
{
    std::string relPath = download.path;
    if (relPath.empty() || endsWithSeparator(relPath))
    {
        const std::string name = urlFileName(download.url);
        if (name.empty())
            return outcome.fail(download.url + " does not end in a file name");
        relPath += name;
    }
    const juce::File target = ConfinedPath::below(sectionFolder, relPath);
    if (target == juce::File())
        return outcome.fail(inQuotes(relPath) + " is not a path inside " + sectionText);

    const Credentials login = PluginManager::loginForUrl(download.url, request.internal, request.donators);
    if (isUpToDate(target, download.url, login))
        return;

    const juce::File parent = target.getParentDirectory();
    if (!createFolder(parent))
        return outcome.fail("Could not create " + pathOf(parent));

    const juce::File temporary = literalChild(parent, target.getFileName().toStdString() + downloadSuffix);
    std::string error;
    if (!HttpClient::downloadFile(download.url, pathOf(temporary), error, {}, {}, login))
    {
        temporary.deleteFile();
        return outcome.fail(relPath + ": " + error);
    }
    if (!putInPlace(temporary, target))
    {
        temporary.deleteFile();
        return outcome.fail("Could not write " + pathOf(target));
    }
    Log::write("Additional file " + download.url + " -> " + pathOf(target) + ": ok");
    ++outcome.installed;
}
}

// A channel folder's own product list speaks for that channel's builds.
PluginManager::FilesRequest PluginManager::filesRequestFor(const Asset& asset) const
{
    FilesRequest request;
    const Product* owner = catalog.findOwningProduct(asset.product);
    request.product = owner != nullptr ? owner->id : asset.product;
    const std::string slug = owner != nullptr ? owner->slug : std::string();
    if (owner != nullptr)
        request.files = owner->files;
    if (asset.channel != Channel::Public)
    {
        const std::vector<FileSection>* channelFiles = catalog.getChannelFiles(slug, asset.channel);
        if (channelFiles != nullptr && !channelFiles->empty())
            request.files = *channelFiles;
    }
    request.internal = credentials.get(Channel::Internal, {});
    request.donators = credentials.get(Channel::Donators, slug);
    return request;
}

bool PluginManager::installAdditionalFiles(const Asset& asset, std::string& message) const
{
    return installAdditionalFiles(filesRequestFor(asset), message);
}

// One download failing never stops the others; the summary counts them all.
bool PluginManager::installAdditionalFiles(const FilesRequest& request, std::string& message)
{
    message.clear();
    if (request.files.empty())
        return true;

    FilesOutcome outcome;
    outcome.product = request.product;
    // The product's name comes from a product list; as a folder name it must not lead out of the
    // maker's data folder, where the downloads could replace any file of the user's.
    if (!isPlainName(request.product))
    {
        outcome.fail(inQuotes(request.product) + " is not a name a data folder can have");
        return outcome.summary(message);
    }
    const juce::File base = toFile(PlatformUtils::dataFolder(request.product));
    for (const FileSection& section : request.files)
    {
        const juce::File sectionFolder = ConfinedPath::below(base, section.folder);
        if (sectionFolder == juce::File())
        {
            outcome.fail(inQuotes(section.folder) + " is not a folder of the product's own");
            continue;
        }
        for (const FileSection::Download& download : section.downloads)
            installDownload(download, sectionFolder, section.folder, request, outcome);
    }
    return outcome.summary(message);
}

void PluginManager::installAdditionalFilesAsync(const Asset& asset, Callback callback) const
{
    auto done = std::make_shared<Callback>(std::move(callback));
    runAsync([request = filesRequestFor(asset), done] {
        std::string message;
        const bool ok = installAdditionalFiles(request, message);
        return std::function<void()>([done, ok, message] {
            if (*done)
                (*done)(ok, message);
        });
    });
}
}
