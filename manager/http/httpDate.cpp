#include "manager/http/httpDate.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>

namespace pluginManager
{
namespace
{
constexpr int longestRetryWaitSeconds = 300;

bool isAllDigits(const std::string& text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string trimmed(const std::string& text)
{
    const char* const blanks = " \t\r\n\f\v";
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
int64_t daysFromCivil(int64_t year, int64_t month, int64_t day)
{
    year -= month <= 2 ? 1 : 0;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yearOfEra = year - era * 400;
    const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}
}

bool parseHttpDate(const std::string& text, int64_t& seconds)
{
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const auto comma = text.find(',');
    const auto rest = comma == std::string::npos ? text : text.substr(comma + 1);

    int day = 0, year = 0, hour = 0, minute = 0, second = 0;
    char monthName[4] = {};
    if (std::sscanf(rest.c_str(), " %d %3s %d %d:%d:%d", &day, monthName, &year, &hour, &minute, &second) != 6)
        return false;
    const auto month = std::find_if(std::begin(months), std::end(months),
                                    [&monthName](const char* name) { return std::strcmp(name, monthName) == 0; });
    if (month == std::end(months) || day < 1 || day > 31 || year < 1970)
        return false;

    const int64_t days = daysFromCivil(year, (month - std::begin(months)) + 1, day);
    seconds = days * 86400 + int64_t(hour) * 3600 + int64_t(minute) * 60 + second;
    return true;
}

int retryDelaySeconds(const std::string& retryAfter, int attempt, int64_t nowSeconds)
{
    const int fallback = std::min(30 << std::clamp(attempt, 0, 2), longestRetryWaitSeconds);
    const auto value = trimmed(retryAfter);
    if (isAllDigits(value))
    {
        // Anything longer than the longest wait needs no exact value, and must not overflow.
        const auto significant = value.substr(std::min(value.find_first_not_of('0'), value.size()));
        if (significant.empty())
            return fallback;
        if (significant.size() > 3)
            return longestRetryWaitSeconds;
        return std::min(std::stoi(significant), longestRetryWaitSeconds);
    }
    int64_t when = 0;
    if (parseHttpDate(value, when))
    {
        // Compared in 64 bits: a date decades ahead would wrap round to a past one in 32.
        const int64_t ahead = when - nowSeconds;
        if (ahead > 0)
            return static_cast<int>(std::min<int64_t>(ahead, longestRetryWaitSeconds));
    }
    return fallback;
}
}
