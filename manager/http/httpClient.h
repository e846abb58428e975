#pragma once

#include "manager/logins/credentials.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace pluginManager
{
// Every network access of the program goes through here: GET requests with the program's
// header block, an optional Basic login, retries when the server asks us to slow down, and
// "file:///" addresses read from the local disk instead where the program may (webAddress.h).
// Dates and retry waits are worked out in httpDate.h.
class HttpClient
{
public:
    // The text at url, gunzipped when the body is gzip data. A body shorter than the size the
    // server announced, or broken off in the transport, fails with "The answer was cut off".
    static bool fetchString(const std::string& url, std::string& body, std::string& error,
                            const Credentials& login = {});
    // The Last-Modified time of url in seconds since 1970 (UTC); seconds is 0 on failure.
    static bool fetchLastModified(const std::string& url, int64_t& seconds, std::string& error,
                                  const Credentials& login = {});
    // Downloads url into dest through "<dest>.downloading"; dest is either the complete new file
    // or untouched. progress may be empty, cancel may be null (see setCancelled).
    static bool downloadFile(const std::string& url, const std::string& dest, std::string& error,
                             const std::function<void(float)>& progress = {},
                             const std::shared_ptr<bool>& cancel = {}, const Credentials& login = {});

    // Run the operations above on a background thread and deliver their results (and progress)
    // on the message thread.
    static void fetchStringAsync(const std::string& url, std::function<void(bool, const std::string&)> done,
                                 const Credentials& login = {});
    static void downloadFileAsync(const std::string& url, const std::string& dest,
                                  std::function<void(float)> progress,
                                  std::function<void(bool, const std::string&)> done,
                                  std::shared_ptr<bool> cancel, const Credentials& login = {});

    static std::string decodeBody(const void* data, size_t size);
    // The server refused the login (401 or 403).
    static bool isAuthError(const std::string& error);
    static bool isNotFound(const std::string& error);
};

// A cancel flag is set on one thread (the front end) while a download reads it on another. These
// two make that hand-over an atomic store and load; set or clear the flag only through
// setCancelled.
void setCancelled(const std::shared_ptr<bool>& flag, bool cancelled = true);
bool isCancelled(const std::shared_ptr<bool>& flag);
}
