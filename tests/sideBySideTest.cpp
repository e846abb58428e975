#include "manager/http/httpClient.h"
#include "manager/http/sideBySide.h"

#include "support/childProcess.h"
#include "support/testEndpoints.h"
#include "support/testServer.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <juce_events/juce_events.h>

#include <condition_variable>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>

using pluginManager::HttpClient;
using pluginManager::SideBySide;

namespace
{
constexpr size_t bound = SideBySide::mostAtOnce;

// Stands in for requests. None is let go before SideBySide::mostAtOnce are under way, then the
// highest item first, so that they end in another order than they began; run one at a time, they
// would all give up after ten seconds.
struct Requests
{
    size_t operator()(size_t item)
    {
        std::unique_lock<std::mutex> lock(mutex);
        ++begun;
        underWay.insert(item);
        mostAtOnce = std::max(mostAtOnce, underWay.size());
        changed.notify_all();
        const auto letGo = [&] { return gaveUp || (mostAtOnce >= bound && *underWay.rbegin() == item); };
        gaveUp = gaveUp || !changed.wait_for(lock, std::chrono::seconds(10), letGo);
        underWay.erase(item);
        changed.notify_all();
        return item * 10;
    }

    size_t begun = 0, mostAtOnce = 0;
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
// outer one's own two (items 16 and 17) are never more than the bound together.
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
    EXPECT_FALSE(requests.gaveUp);
}

// An item's exception reaches the caller once no helper runs any more; no item starts after it.
// Many small nested batches add helpers while their callers join the earlier ones: every one of
// them is joined too.
TEST(SideBySide, AnItemsExceptionReachesTheCallerAfterEveryHelperIsJoined)
{
    std::atomic<int> running{0}, started{0};
    std::string caught;
    try
    {
        SideBySide::run(30, [&](size_t index) {
            ++started;
            ++running;
            std::this_thread::sleep_for(std::chrono::milliseconds(index == 5 ? 5 : 20));
            --running;
            if (index == 5)
                throw std::runtime_error("item 5");
        });
    }
    catch (const std::runtime_error& error)
    {
        caught = error.what();
    }
    EXPECT_EQ(caught + " " + std::to_string(running), "item 5 0");
    EXPECT_LT(started, 30);

    std::atomic<size_t> done{0};
    for (int round = 0; round < 300; ++round)
        SideBySide::run(4, [&done](size_t) { SideBySide::run(3, [&done](size_t) { ++done; }); });
    EXPECT_EQ(done, 3600u);
}

// Under a limit on the user's tasks, as a container or a service manager sets, the system gives no
// thread at all: the caller asks every request itself, and the one that trickles still ends at its
// deadline. The limit binds a user other than root, which the child becomes. The child serves the
// requests itself: one forked while a server's threads ran could find the allocator locked.
TEST(SideBySide, UnderALimitOnTasksTheCallerAsksEveryRequestAndEachEndsInItsTime)
{
    testSupport::limitTextRequests(300);
    const std::string answers = testSupport::inChild([] {
        testSupport::TestServer server;
        server.setText("/a.json", "[1]");
        server.setText("/b.json", "[2]");
        server.endless("/trickle.json", std::string(100, '['), 100);
        // Answered before the limit, to see the server up; and asked without our client, which
        // would start the deadlines' keeper meanwhile.
        if (!httplib::Client(server.url("")).Get("/a.json"))
            return std::string("the server did not answer");
        const rlimit oneTask{1, 1};
        if (!testSupport::dropRootPrivileges() || setrlimit(RLIMIT_NPROC, &oneTask) != 0)
            return std::string("could not set the child up");
        const auto fetch = [](const std::string& url) {
            std::string body, error;
            return HttpClient::fetchString(url, body, error) ? body : error;
        };
        std::string text;
        for (const std::string& answer :
             SideBySide::each(std::vector<std::string>{server.url("/a.json"), server.url("/trickle.json"),
                                                       server.url("/b.json")}, fetch))
            text += answer + "|";
        return text;
    });
    testSupport::limitTextRequests(0);
    EXPECT_EQ(answers, "[1]|The server took too long to answer|[2]|");
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
