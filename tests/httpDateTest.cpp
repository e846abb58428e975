// HTTP dates and the waits before a refused request is asked again, apart from any request.
#include "manager/http/httpDate.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>

using namespace pluginManager;

// Only the fixed format of HTTP dates, from 1970 on.
TEST(HttpDates, ParsesTheFixedFormatOnly)
{
    const int64_t rejected = -1;
    const std::pair<std::string, int64_t> cases[] = {
        {"Sun, 06 Nov 1994 08:49:37 GMT", 784111777}, {"Thu, 01 Jan 1970 00:00:00 GMT", 0},
        {"Tue, 29 Feb 2000 23:59:59 GMT", 951868799}, {"Sun, 06 Nov 1969 08:49:37 GMT", rejected},
        {"Sun, 00 Nov 1994 08:49:37 GMT", rejected}, {"Sun, 32 Nov 1994 08:49:37 GMT", rejected},
        {"Sunday, 06-Nov-94 08:49:37 GMT", rejected}, {"Sun, 06 November 1994 08:49:37 GMT", rejected},
        {"Sun, 06 Nov 1994 08:49 GMT", rejected}, {"", rejected}, {"soon", rejected},
    };
    for (const auto& [text, expected] : cases)
    {
        int64_t seconds = 0;
        EXPECT_EQ(parseHttpDate(text, seconds) ? seconds : rejected, expected) << text;
    }
}

TEST(HttpRetryDelay, RetryAfterSecondsDatesAndDefaults)
{
    const int64_t now = 784111777; // Sun, 06 Nov 1994 08:49:37 GMT
    const std::tuple<std::string, int, int> cases[] = {
        {"120", 0, 120}, {" 7 ", 0, 7}, {"\t007\r\n", 2, 7},
        {"300", 0, 300}, {"500", 0, 300}, {"99999999999999999999999", 0, 300},
        // Defaults by attempt: 30, 60, 120.
        {"", 0, 30}, {"0", 1, 60}, {"-3", 2, 120}, {"soon", 0, 30}, {"1.5", 1, 60}, {"12 s", 2, 120},
        {"Sun, 06 Nov 1994 08:50:22 GMT", 0, 45}, {"Mon, 07 Nov 1994 08:49:37 GMT", 0, 300},
        // More than 2^31 seconds ahead is still the longest wait.
        {"Fri, 01 Jan 2100 00:00:00 GMT", 0, 300},
        // A date that is now or past uses the default.
        {"Sun, 06 Nov 1994 08:49:37 GMT", 1, 60}, {"Sat, 05 Nov 1994 08:49:37 GMT", 2, 120},
    };
    for (const auto& [retryAfter, attempt, seconds] : cases)
        EXPECT_EQ(retryDelaySeconds(retryAfter, attempt, now), seconds)
            << "\"" << retryAfter << "\", attempt " << attempt;
}
