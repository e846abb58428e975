#include "manager/platform/firstError.h"

#include <gtest/gtest.h>

#include <vector>

using pluginManager::FirstError;

TEST(FirstError, KeepsTheFirstFailureThatSaysSomething)
{
    // failures in the order they happened, the one the user reads
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{}, ""},
        {{"disk full"}, "disk full"},
        {{"no list", "no builds", "no login"}, "no list"},
        {{"", "no builds"}, "no builds"},
        {{"no list", ""}, "no list"},
    };
    for (const auto& [failures, first] : cases)
    {
        FirstError kept;
        for (const std::string& failure : failures)
            kept.keep(failure);
        EXPECT_EQ(kept.text(), first) << testing::PrintToString(failures);
        EXPECT_EQ(kept.empty(), first.empty()) << testing::PrintToString(failures);
    }
}
