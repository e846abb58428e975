#pragma once

#include "manager/logins/credentials.h"

#include <juce_core/juce_core.h>

#include <memory>
#include <string>

namespace pluginManager
{
class TransferDeadline;

// The request header block: the User-Agent line, "Accept-Encoding: gzip" when acceptGzip, and a
// Basic Authorization line when the login is complete.
juce::String requestHeaders(const Credentials& login, bool acceptGzip);

// "HTTP " and the status; a status of 400 or more is an error.
std::string httpErrorMessage(int status);
bool isHttpError(int status);

// Sends the GET request of url and answers its stream, whatever the status, with the status in
// statusCode and the response headers in responseHeaders; null when the server did not answer, or
// when cancel was set while waiting to ask again. A 429 is asked again up to three times, after
// the wait the server names (or our own), except on the message thread, which must never be held
// up. A deadline, when given, watches each request sent (not the waits the server asks for) and
// goes on watching the stream handed back: release it before the stream goes.
std::unique_ptr<juce::WebInputStream> openWebStream(const std::string& url, const juce::String& headers,
                                                    int timeoutMs, int& statusCode,
                                                    juce::StringPairArray& responseHeaders,
                                                    const std::shared_ptr<bool>& cancel,
                                                    TransferDeadline* deadline = nullptr);
}
