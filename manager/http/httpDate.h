#pragma once

#include <cstdint>
#include <string>

namespace pluginManager
{
// The time arithmetic of the HTTP client, apart from any request: dates as servers write them,
// and how long to wait when a server asks us to slow down.

// Reads an HTTP date ("Sun, 06 Nov 1994 08:49:37 GMT", the weekday optional) into seconds since
// 1970-01-01 UTC; seconds is not written when the text is no such date (the older RFC 850 and
// asctime forms are not).
bool parseHttpDate(const std::string& text, int64_t& seconds);

// Seconds to wait before asking again after a 429: the Retry-After value in seconds or as a date
// ahead of nowSeconds, else 30, 60 and 120 for the first, second and third repeat (attempt 0 to
// 2); never more than 300.
int retryDelaySeconds(const std::string& retryAfter, int attempt, int64_t nowSeconds);
}
