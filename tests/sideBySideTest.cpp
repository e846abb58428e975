#include "manager/http/sideBySide.h"

#include <gtest/gtest.h>
#include <juce_events/juce_events.h>

#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <set>
#include <thread>

using pluginManager::SideBySide;

namespace
{
constexpr size_t bound = SideBySide::mostAtOnce;

size_t threadsOfThisProcess()
{
    const std::filesystem::directory_iterator tasks("/proc/self/task");
    return size_t(std::distance(begin(tasks), end(tasks)));
}

// Stands in for requests. None is let go before SideBySide::mostAtOnce are under way, then the
// highest item first, so that they end in another order than they began; run one at a time, they
// would all give up after ten seconds. Once the bound is reached, every thread the batches would
// start for them has been started.
struct Requests
{
    size_t operator()(size_t item)
    {
        std::unique_lock<std::mutex> lock(mutex);
        ++begun;
        underWay.insert(item);
        if (underWay.size() > mostAtOnce && underWay.size() == bound)
            threadsAdded = threadsOfThisProcess() - threadsBefore;
        mostAtOnce = std::max(mostAtOnce, underWay.size());
        changed.notify_all();
        const auto letGo = [&] { return gaveUp || (mostAtOnce >= bound && *underWay.rbegin() == item); };
        gaveUp = gaveUp || !changed.wait_for(lock, std::chrono::seconds(10), letGo);
        underWay.erase(item);
        changed.notify_all();
        return item * 10;
    }

    const size_t threadsBefore = threadsOfThisProcess();
    size_t begun = 0, mostAtOnce = 0, threadsAdded = 0;
    bool gaveUp = false;
    std::set<size_t> underWay;
    std::mutex mutex;
    std::condition_variable changed;
};

std::vector<size_t> upTo(size_t count, size_t factor = 1)
{
    std::vector<size_t> items(count);
    for (size_t i = 0; i < count; ++i)
        items[i] = i * factor;
    return items;
}
}

// A batch of 16 inside a batch of three shares the bound: the inner batch's requests and the
// outer one's own two (items 16 and 17) are never more than the bound together. The calling
// thread works too, so the threads started are one fewer than the bound.
TEST(SideBySide, AnswersInTheOrderOfTheItemsWithTheBoundUnderWayAcrossNestedBatches)
{
    Requests requests;
    std::vector<size_t> inner;
    SideBySide::run(3, [&](size_t item) {
        if (item == 0)
            inner = SideBySide::each(upTo(16), std::ref(requests));
        else
            requests(15 + item);
    });
    EXPECT_EQ(inner, upTo(16, 10));
    EXPECT_EQ(requests.begun, 18u);
    EXPECT_EQ(requests.mostAtOnce, bound);
    EXPECT_LE(requests.threadsAdded, bound - 1);
    EXPECT_FALSE(requests.gaveUp);
}

// A helper would wait out the server's 429 while the message thread, which must never be held up,
// waited for it.
TEST(SideBySide, OnTheMessageThreadEveryItemRunsOnIt)
{
    juce::MessageManager::getInstance();
    std::vector<std::thread::id> ranOn;
    SideBySide::run(12, [&ranOn](size_t) { ranOn.push_back(std::this_thread::get_id()); });
    juce::MessageManager::deleteInstance();
    EXPECT_EQ(ranOn, std::vector<std::thread::id>(12, std::this_thread::get_id()));
}
