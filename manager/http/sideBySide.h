#pragma once

#include <cstddef>
#include <functional>
#include <type_traits>
#include <vector>

namespace pluginManager
{
// Runs requests whose addresses do not depend on each other's answers side by side, so that a
// caller waits for a few round trips rather than one per request. The calling thread takes the
// first item and works on the batch with the others; besides it at most mostAtOnce - 1 helper
// threads work across every batch of the process, nested batches included, so one caller never
// has more than mostAtOnce requests under way at once.
//
// A helper that the system will not give (a limit on the user's tasks) is no failure: the batch
// goes on with the threads it has, the calling thread alone if need be.
//
// On the message thread the items run one after another on it: a helper would wait out a 429,
// and the message thread would wait for the helper.
class SideBySide
{
public:
    SideBySide() = delete;

    // Enough to hide the round trips of a refresh, polite to a server.
    static constexpr size_t mostAtOnce = 8;

    // Calls task with every index from 0 to count - 1, each once, and returns once all have ended.
    // When an item throws, no item starts after it, and the first exception is thrown on once
    // every helper has been joined.
    static void run(size_t count, const std::function<void(size_t)>& task);

    // The answer of request for each item, in the order of the items, whatever order they end in.
    template <typename Item, typename Request>
    static auto each(const std::vector<Item>& items, Request request)
    {
        using Result = std::decay_t<decltype(request(items.front()))>;
        // Neighbouring elements of a std::vector<bool> share a byte: writing them from two threads races.
        static_assert(!std::is_same_v<Result, bool>, "answer a struct rather than a bool");
        std::vector<Result> results(items.size());
        run(items.size(), [&](size_t index) { results[index] = request(items[index]); });
        return results;
    }
};
}
