#include "manager/http/curlLibrary.h"

#include "manager/platform/log.h"

#include <juce_core/juce_core.h>

#include <atomic>
#include <mutex>

namespace pluginManager
{
namespace
{
// The names the framework tries, in its order, and every function it looks up in the library.
const char* const libraryNames[] = {"libcurl.so", "libcurl.so.4", "libcurl.so.3"};
const char* const functionsUsed[] = {
    "curl_easy_init",        "curl_easy_setopt",     "curl_easy_cleanup",      "curl_easy_getinfo",
    "curl_multi_add_handle", "curl_multi_cleanup",   "curl_multi_fdset",       "curl_multi_info_read",
    "curl_multi_init",       "curl_multi_perform",   "curl_multi_remove_handle", "curl_multi_timeout",
    "curl_slist_append",     "curl_slist_free_all",  "curl_version_info",
};
const char* const missing = "Could not load libcurl.so.4, which web requests need; install the package libcurl4";

std::once_flag once;
// Written once under once, before any reader can see tried set.
std::atomic<bool> tried{false};
bool loaded = false;

bool hasEveryFunction(juce::DynamicLibrary& library)
{
    for (const char* name : functionsUsed)
        if (library.getFunction(name) == nullptr)
            return false;
    return true;
}

// Kept open for the whole run, so that the framework's own opening finds it loaded.
bool openLibrary()
{
    static juce::DynamicLibrary library;
    for (const char* name : libraryNames)
        if (library.open(name))
            return hasEveryFunction(library);
    return false;
}
}

bool CurlLibrary::load(std::string& error)
{
    // Logged once: the sources that fail for it may each word their failure in their own way.
    std::call_once(once, [] {
        loaded = openLibrary();
        tried = true;
        if (!loaded)
            Log::write(missing);
    });
    if (!loaded)
        error = missing;
    return loaded;
}

std::string CurlLibrary::failure() { return tried && !loaded ? missing : std::string(); }
}
