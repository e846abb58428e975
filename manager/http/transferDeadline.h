#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace juce
{
class WebInputStream;
}

namespace pluginManager
{
// A limit on the whole exchange of a web stream. The framework drops a transfer only when it is
// slower than 100 bytes a second, so a server that trickles a little faster than that, or keeps
// sending for ever, would hold the caller without end. When the time is up while a stream is
// watched, a thread of the deadline's own cancels the stream, which ends the connect or read that
// the caller is blocked in.
class TransferDeadline
{
public:
    explicit TransferDeadline(int milliseconds);
    ~TransferDeadline();
    TransferDeadline(const TransferDeadline&) = delete;
    TransferDeadline& operator=(const TransferDeadline&) = delete;

    // Starts the time for stream, afresh for each stream. Release it before the stream goes.
    void watch(juce::WebInputStream& stream);
    // Stops watching, after a cancel that is under way.
    void release();
    // Whether a watched stream ran out of time.
    bool passed() const;

private:
    const std::chrono::milliseconds m_limit;
    mutable std::mutex m_mutex;
    std::condition_variable m_released;
    juce::WebInputStream* m_stream = nullptr;
    bool m_passed = false;
    std::thread m_watcher;
};
}
