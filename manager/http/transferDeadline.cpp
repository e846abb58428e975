#include "manager/http/transferDeadline.h"

#include <juce_core/juce_core.h>

namespace pluginManager
{
TransferDeadline::TransferDeadline(int milliseconds) : m_limit(milliseconds) {}

TransferDeadline::~TransferDeadline() { release(); }

void TransferDeadline::watch(juce::WebInputStream& stream)
{
    release();
    const auto end = std::chrono::steady_clock::now() + m_limit;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stream = &stream;
    m_watcher = std::thread([this, end] {
        std::unique_lock<std::mutex> waiting(m_mutex);
        if (m_released.wait_until(waiting, end, [this] { return m_stream == nullptr; }))
            return;
        m_passed = true;
        // Under the lock, so that release waits for it and the stream cannot go in the meantime.
        m_stream->cancel();
    });
}

void TransferDeadline::release()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stream = nullptr;
    }
    m_released.notify_all();
    if (m_watcher.joinable())
        m_watcher.join();
}

bool TransferDeadline::passed() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_passed;
}
}
