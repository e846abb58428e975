#include "manager/http/transferDeadline.h"

#include "manager/http/threadStart.h"

#include <juce_core/juce_core.h>

#include <condition_variable>
#include <mutex>

#include <unistd.h>

namespace pluginManager
{
namespace
{
using Clock = std::chrono::steady_clock;

// The thread that watches every deadline of the process. It is started on first need and runs to
// the end of the process, waiting on its condition while nothing is watched.
class Keeper
{
public:
    // False when the keeper is not running and no thread could be had to start it.
    bool add(TransferDeadline::Watch& watch, juce::WebInputStream& stream, Clock::time_point end)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!runningLocked())
            return false;
        watch.stream = &stream;
        watch.place = m_watches.emplace(end, &watch);
        m_changed.notify_one();
        return true;
    }

    void remove(TransferDeadline::Watch& watch)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (watch.stream == nullptr)
            return;
        m_watches.erase(watch.place);
        watch.stream = nullptr;
    }

    void start()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        runningLocked();
    }

private:
    // A forked child has none of its parent's threads, the keeper included.
    bool runningLocked()
    {
        if (m_owner == ::getpid())
            return true;
        std::thread thread;
        if (!startThread(thread, [this] { keep(); }))
            return false;
        thread.detach();
        m_owner = ::getpid();
        m_watches.clear();
        return true;
    }

    void keep()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;)
        {
            if (m_watches.empty())
            {
                m_changed.wait(lock);
                continue;
            }
            const auto first = m_watches.begin();
            // A copy: the watch may go while the keeper waits.
            const Clock::time_point end = first->first;
            if (Clock::now() < end)
            {
                m_changed.wait_until(lock, end);
                continue;
            }
            TransferDeadline::Watch& due = *first->second;
            m_watches.erase(first);
            due.passed = true;
            // Under the lock, so that a release waits for it and the stream cannot go meanwhile.
            due.stream->cancel();
            due.stream = nullptr;
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::multimap<Clock::time_point, TransferDeadline::Watch*> m_watches;
    pid_t m_owner = 0;
};

// Never destroyed: its thread may still wait on it while the process ends.
Keeper& keeper()
{
    static Keeper* const theKeeper = new Keeper;
    return *theKeeper;
}
}

TransferDeadline::TransferDeadline(int milliseconds) : m_limit(milliseconds) {}

TransferDeadline::~TransferDeadline() { release(); }

bool TransferDeadline::watch(juce::WebInputStream& stream)
{
    release();
    m_end = Clock::now() + m_limit;
    m_kept = keeper().add(m_watch, stream, m_end);
    return m_kept;
}

void TransferDeadline::release()
{
    if (!m_kept)
        return;
    keeper().remove(m_watch);
    m_kept = false;
}

bool TransferDeadline::passed() const { return m_watch.passed; }

bool TransferDeadline::timeIsUp()
{
    if (!m_kept && m_end != Clock::time_point{} && Clock::now() >= m_end)
        m_watch.passed = true;
    return m_watch.passed;
}

void TransferDeadline::startKeeper() { keeper().start(); }
}
