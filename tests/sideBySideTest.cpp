#include "manager/http/sideBySide.h"

#include <gtest/gtest.h>
#include <juce_events/juce_events.h>

#include <condition_variable>
#include <filesystem>
#include <mutex>

using pluginManager::SideBySide;

namespace
{
size_t threadsOfThisProcess()
{
    const std::filesystem::directory_iterator tasks("/proc/self/task");
    return size_t(std::distance(begin(tasks), end(tasks)));
}

// Stands in for requests. None is let go before SideBySide::mostAtOnce are under way, then the
// newest first, so that they end in another order than they began; run one at a time, they would
// all give up after ten seconds. Once the bound is reached, every thread a batch would start for
// them has been started.
struct Requests
{
    size_t operator()(size_t item)
    {
        std::unique_lock<std::mutex> lock(mutex);
        mostAtOnce = std::max(mostAtOnce, ++underWay);
        if (underWay == SideBySide::mostAtOnce && !reached)
            threadsAdded = threadsOfThisProcess() - threadsBefore;
        reached = reached || underWay == SideBySide::mostAtOnce;
        const size_t ticket = begun++;
        newest.push_back(ticket);
        changed.notify_all();
        const auto letGo = [&] { return gaveUp || (reached && newest.back() == ticket); };
        gaveUp = gaveUp || !changed.wait_for(lock, std::chrono::seconds(10), letGo);
        newest.erase(std::find(newest.begin(), newest.end(), ticket));
        --underWay;
        changed.notify_all();
        return item * 10;
    }

    const size_t threadsBefore = threadsOfThisProcess();
    size_t begun = 0, underWay = 0, mostAtOnce = 0, threadsAdded = 0;
    bool reached = false, gaveUp = false;
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<size_t> newest;
};

std::vector<size_t> upTo(size_t count, size_t factor = 1)
{
    std::vector<size_t> items(count);
    for (size_t i = 0; i < count; ++i)
        items[i] = i * factor;
    return items;
}
}

// 20 items: two full rounds and a short one. A batch inside a batch shares the bound: two requests
// of the outer batch and 16 of the inner one are never more than the bound together. The calling
// thread works too, so the threads started are one fewer than the bound (fewer only when a thread
// of the batch before had not yet left the count).
TEST(SideBySide, AnswersInTheOrderOfTheItemsWithTheBoundUnderWayAcrossNestedBatches)
{
    Requests requests, nested;
    EXPECT_EQ(SideBySide::each(upTo(20), std::ref(requests)), upTo(20, 10));
    std::vector<size_t> inner;
    SideBySide::run(3, [&](size_t item) {
        if (item == 0)
            inner = SideBySide::each(upTo(16), std::ref(nested));
        else
            nested(item);
    });
    EXPECT_EQ(inner, upTo(16, 10));
    EXPECT_EQ(requests.begun, 20u);
    EXPECT_EQ(nested.begun, 18u);
    for (const Requests* batch : {&requests, &nested})
    {
        EXPECT_EQ(batch->mostAtOnce, SideBySide::mostAtOnce);
        EXPECT_LE(batch->threadsAdded, SideBySide::mostAtOnce - 1);
        EXPECT_FALSE(batch->gaveUp);
    }
}

// A helper would wait out the server's 429 while the message thread, which must never be held up,
// waited for it.
TEST(SideBySide, OnTheMessageThreadEveryItemRunsOnItInTurn)
{
    juce::MessageManager::getInstance();
    const size_t threadsBefore = threadsOfThisProcess();
    std::vector<size_t> order;
    bool helped = false;
    SideBySide::run(12, [&](size_t item) {
        order.push_back(item);
        helped = helped || threadsOfThisProcess() > threadsBefore;
    });
    juce::MessageManager::deleteInstance();
    EXPECT_EQ(order, upTo(12));
    EXPECT_FALSE(helped);
}
