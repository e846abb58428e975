#pragma once

#include <atomic>
#include <chrono>
#include <map>

namespace juce
{
class WebInputStream;
}

namespace pluginManager
{
// A limit on the whole exchange of a web stream. The framework drops a transfer only when it is
// slower than 100 bytes a second, so a server that trickles a little faster than that, or keeps
// sending for ever, would hold the caller without end.
//
// One thread of the process, the keeper, watches every deadline: when the time of a watched stream
// is up, it cancels the stream, which ends the connect or read that the caller is blocked in. One
// thread for all, rather than one for each request, so that requests side by side need no more
// threads than their helpers; a system that gives no thread for the keeper at all leaves the time
// to the caller, who checks it between reads (timeIsUp).
class TransferDeadline
{
public:
    explicit TransferDeadline(int milliseconds);
    ~TransferDeadline();
    TransferDeadline(const TransferDeadline&) = delete;
    TransferDeadline& operator=(const TransferDeadline&) = delete;

    // Starts the time for stream, afresh for each stream; release it before the stream goes. True
    // when the keeper watches it; false when no thread could be had for the keeper, and the caller
    // must check timeIsUp itself.
    bool watch(juce::WebInputStream& stream);
    // Whether the keeper watches the stream watched last (and has not let go of it yet).
    bool isWatched() const { return m_kept; }
    // Stops watching; a cancel under way has ended when it returns.
    void release();
    // Whether the stream watched last ran out of time: cancelled by the keeper, or found late by
    // timeIsUp.
    bool passed() const;
    // For a caller whose stream the keeper does not watch: whether its time is up now, which then
    // counts as passed. Where the keeper watches, the same as passed.
    bool timeIsUp();

    // Starts the keeper ahead of need. A batch of requests side by side calls it before it asks
    // for helpers, so that a system that gives few threads gives the first to the deadlines.
    static void startKeeper();

    // What the keeper knows of one watched stream; its own under the keeper's lock.
    struct Watch
    {
        juce::WebInputStream* stream = nullptr; // null once released or cancelled
        std::multimap<std::chrono::steady_clock::time_point, Watch*>::iterator place;
        std::atomic<bool> passed{false}; // set by the keeper, or by timeIsUp, and kept
    };

private:
    const std::chrono::milliseconds m_limit;
    std::chrono::steady_clock::time_point m_end{};
    bool m_kept = false;
    Watch m_watch;
};
}
