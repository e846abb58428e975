#include "manager/httpClient.h"

namespace pluginManager
{
bool HttpClient::fetchString(const std::string&, std::string&, std::string& error, const Credentials&)
{
    error = "Failed to connect";
    return false;
}

bool HttpClient::fetchLastModified(const std::string&, int64_t& seconds, std::string& error, const Credentials&)
{
    seconds = 0;
    error = "Failed to connect";
    return false;
}

bool HttpClient::downloadFile(const std::string&, const std::string&, std::string& error,
                              const std::function<void(float)>&, const std::shared_ptr<bool>&, const Credentials&)
{
    error = "Failed to connect to server";
    return false;
}

void HttpClient::fetchStringAsync(const std::string&, std::function<void(bool, const std::string&)>, const Credentials&) {}

void HttpClient::downloadFileAsync(const std::string&, const std::string&, std::function<void(float)>,
                                   std::function<void(bool, const std::string&)>, std::shared_ptr<bool>,
                                   const Credentials&)
{
}

std::string HttpClient::decodeBody(const void*, size_t) { return {}; }
bool HttpClient::parseHttpDate(const std::string&, int64_t&) { return false; }
int HttpClient::retryDelaySeconds(const std::string&, int, int64_t) { return 30; }
bool HttpClient::isAuthError(const std::string& error) { return error == "HTTP 401" || error == "HTTP 403"; }
bool HttpClient::isNotFound(const std::string& error) { return error == "HTTP 404"; }

void setCancelled(const std::shared_ptr<bool>& flag)
{
    if (flag)
        __atomic_store_n(flag.get(), true, __ATOMIC_SEQ_CST);
}

bool isCancelled(const std::shared_ptr<bool>& flag)
{
    return flag && __atomic_load_n(flag.get(), __ATOMIC_SEQ_CST);
}
}
