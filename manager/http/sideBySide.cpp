#include "manager/http/sideBySide.h"

#include <juce_events/juce_events.h>

#include <atomic>
#include <mutex>
#include <system_error>
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

    const size_t count;
    const std::function<void(size_t)>& task;
    std::atomic<size_t> next{0};
    std::mutex mutex;
    std::vector<std::thread> helpers;
};

void addHelper(Batch& batch);

// Each thread takes the next item until none is left. Help is asked for item by item, so a place
// that another batch gives up is taken up by this one while it still has items waiting.
void work(Batch& batch)
{
    for (size_t item; (item = batch.next++) < batch.count;)
    {
        if (item + 1 < batch.count)
            addHelper(batch);
        batch.task(item);
    }
}

void addHelper(Batch& batch)
{
    if (!takeHelperPlace())
        return;
    std::lock_guard<std::mutex> lock(batch.mutex);
    try
    {
        batch.helpers.emplace_back([&batch] {
            work(batch);
            leaveHelperPlace();
        });
    }
    catch (const std::system_error&)
    {
        // No thread to be had: the threads already at work take the item in their turn.
        leaveHelperPlace();
    }
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
    Batch batch(count, task);
    work(batch);
    joinHelpers(batch);
}
}
