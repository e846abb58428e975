#include "manager/http/sideBySide.h"

#include "manager/http/threadStart.h"
#include "manager/http/transferDeadline.h"

#include <juce_events/juce_events.h>

#include <atomic>
#include <exception>
#include <mutex>
#include <thread>

namespace pluginManager
{
namespace
{
// Helper threads at work in all batches together. A batch's caller needs no place: it works on
// its own batch, or is itself a helper of the batch around it.
std::atomic<size_t> helpersAtWork{0};

bool takeHelperPlace()
{
    size_t busy = helpersAtWork.load();
    while (busy + 1 < SideBySide::mostAtOnce)
    {
        if (helpersAtWork.compare_exchange_weak(busy, busy + 1))
            return true;
    }
    return false;
}

void leaveHelperPlace() { --helpersAtWork; }

struct Batch
{
    Batch(size_t count, const std::function<void(size_t)>& task) : count(count), task(task) {}

    // The first exception an item threw; no item starts after it.
    void fail(std::exception_ptr thrown)
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!failure)
            failure = std::move(thrown);
        next = count;
    }

    const size_t count;
    const std::function<void(size_t)>& task;
    std::atomic<size_t> next{0};
    std::mutex mutex;
    std::vector<std::thread> helpers;
    std::exception_ptr failure;
};

void addHelper(Batch& batch);

// Each thread takes the next item until none is left. Help is asked for item by item, so a place
// that another batch gives up is taken up by this one while it still has items waiting. What an
// item throws is kept for the caller, who gets it once every helper has been joined: a helper
// that it ended, or a caller that it left before joining, would end the process.
void work(Batch& batch)
{
    for (size_t item; (item = batch.next++) < batch.count;)
    {
        try
        {
            if (item + 1 < batch.count)
                addHelper(batch);
            batch.task(item);
        }
        catch (...)
        {
            batch.fail(std::current_exception());
        }
    }
}

// A helper the system will not give is no failure: the threads already at work take the item in
// their turn, down to the caller alone.
void addHelper(Batch& batch)
{
    if (!takeHelperPlace())
        return;
    bool started = false;
    try
    {
        std::lock_guard<std::mutex> lock(batch.mutex);
        // Room first: a thread once started must not be dropped unjoined.
        batch.helpers.emplace_back();
        started = startThread(batch.helpers.back(), [&batch] {
            work(batch);
            leaveHelperPlace();
        });
        if (!started)
            batch.helpers.pop_back();
    }
    catch (...)
    {
        leaveHelperPlace();
        throw;
    }
    if (!started)
        leaveHelperPlace();
}

// Helpers may add helpers while the first ones are joined; every one of them is added by a
// thread that is joined after it, so the batch is over once a round finds none left.
void joinHelpers(Batch& batch)
{
    for (;;)
    {
        std::vector<std::thread> joining;
        {
            std::lock_guard<std::mutex> lock(batch.mutex);
            joining.swap(batch.helpers);
        }
        if (joining.empty())
            return;
        for (std::thread& helper : joining)
            helper.join();
    }
}
}

void SideBySide::run(size_t count, const std::function<void(size_t)>& task)
{
    if (juce::MessageManager::existsAndIsCurrentThread())
    {
        for (size_t item = 0; item < count; ++item)
            task(item);
        return;
    }
    if (count > 1)
        TransferDeadline::startKeeper();
    Batch batch(count, task);
    work(batch);
    joinHelpers(batch);
    if (batch.failure)
        std::rethrow_exception(batch.failure);
}
}
