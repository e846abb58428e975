#include "manager/http/webStream.h"

#include "manager/http/httpClient.h"
#include "manager/http/httpDate.h"
#include "manager/http/transferDeadline.h"
#include "manager/platform/buildSeams.h"
#include "manager/platform/log.h"

#include <juce_events/juce_events.h>

namespace pluginManager
{
namespace
{
const char* const userAgent = "VYR-Plugin-Manager";
constexpr int redirectsFollowed = 5;
constexpr int tooManyRequests = 429;
constexpr int lastRetryAttempt = 3;
constexpr int retryWaitStepMs = 250;

bool isSuccess(int status)
{
    return status >= 200 && status < 300;
}

// Whether the server answered. The framework hands out no stream at all when the transfer broke
// before its first bytes reached us; a success or an error status that did arrive still counts as
// an answer (whether its body came whole is the reader's to tell), while a failed redirect or no
// status at all means no connection.
bool serverAnswered(bool connected, juce::WebInputStream& stream, int statusCode)
{
    return connected && (!stream.isError() || isSuccess(statusCode) || isHttpError(statusCode));
}
}

juce::String requestHeaders(const Credentials& login, bool acceptGzip)
{
    juce::String headers = juce::String("User-Agent: ") + userAgent;
    if (acceptGzip)
        headers << "\r\nAccept-Encoding: gzip";
    if (login.isComplete())
    {
        const std::string pair = login.user + ":" + login.password;
        headers << "\r\nAuthorization: Basic " << juce::Base64::toBase64(pair.data(), pair.size());
    }
    return headers;
}

std::string httpErrorMessage(int status)
{
    return "HTTP " + std::to_string(status);
}

bool isHttpError(int status)
{
    return status >= 400;
}

std::unique_ptr<juce::WebInputStream> openWebStream(const std::string& url, const juce::String& headers,
                                                    int timeoutMs, int& statusCode,
                                                    juce::StringPairArray& responseHeaders,
                                                    const std::shared_ptr<bool>& cancel, TransferDeadline* deadline)
{
    for (int attempt = 0;; ++attempt)
    {
        responseHeaders.clear();
        statusCode = 0;
        // Query parameters stay in the address of the GET request.
        auto stream = std::make_unique<juce::WebInputStream>(juce::URL(juce::String(url)), false);
        stream->withExtraHeaders(headers).withConnectionTimeout(timeoutMs).withNumRedirectsToFollow(redirectsFollowed);
        if (deadline)
            deadline->watch(*stream);
        const bool connected = stream->connect(nullptr);
        statusCode = stream->getStatusCode();
        responseHeaders = stream->getResponseHeaders();
        const bool answered = serverAnswered(connected, *stream, statusCode);
        const bool askAgain = answered && statusCode == tooManyRequests && attempt < lastRetryAttempt
                              && !juce::MessageManager::existsAndIsCurrentThread();
        if (answered && !askAgain)
            return stream;

        // The deadline lets go of a stream before it goes.
        if (deadline)
            deadline->release();
        stream.reset();
        if (!answered)
            return nullptr;
        const auto retryAfter = responseHeaders["Retry-After"].toStdString();
        const int seconds = retryDelaySeconds(retryAfter, attempt, juce::Time::currentTimeMillis() / 1000);
        Log::write(url + ": too many requests, asking again in " + std::to_string(seconds) + " s");
        for (int step = 0; step < seconds * (1000 / retryWaitStepMs); ++step)
        {
            if (isCancelled(cancel))
                return nullptr;
            waitBeforeAskingAgain(retryWaitStepMs);
        }
    }
}
}
