#pragma once
// Remote calls arrive on threads of their own (Tango's), while the station, like the rest of the
// program, lives on one thread. Every call is handed to that thread as a job, and the calling thread
// waits for its answer, for a bounded time. The station's thread runs the jobs from its event pump,
// so they are answered during a run, between two points, as the window's buttons are; and a job may
// itself pump (a Start measures inside its job), so the jobs queued meanwhile run inside it.
//
// Nothing but this queue is shared between threads: a job touches the station only on the station's
// thread, and the calling thread sees nothing but the answer.
#include "remote/remote_types.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace korvo {

class StationBridge {
public:
    using Job = std::function<void(const RemoteReply& reply)>;

    // Any thread but the station's: queues `job` and waits at most `bound` for its answer. A job not
    // yet begun when the bound has passed is never run; one that has begun goes on to its end, and
    // the caller is told that it may still take effect.
    RemoteAnswer call(Job job, std::chrono::milliseconds bound);

    // The station's thread: runs the jobs queued so far, in order.
    void serve();
    bool pending() const { return pending_.load(std::memory_order_acquire); }
    // The station's thread while idle: returns when a job is queued, after close(), or after `bound`.
    void waitForWork(std::chrono::milliseconds bound);

    // The thread that serves the jobs (by default the one that made the bridge). A call from it
    // would wait for itself: that thread runs its job directly.
    void bindToThisThread() { stationThread_ = std::this_thread::get_id(); }
    bool onStationThread() const { return std::this_thread::get_id() == stationThread_; }

    // Told on the calling thread after a job was queued (the desktop program posts serve() into its
    // event loop). Set before the first call.
    std::function<void()> wake;

    // From now on every call is refused with `why` at once; jobs still queued are refused unrun.
    void close(const std::string& why);

private:
    struct Call;
    std::mutex mutex_;
    std::condition_variable work_;
    std::deque<std::shared_ptr<Call>> queue_;
    std::atomic<bool> pending_{false};
    std::thread::id stationThread_ = std::this_thread::get_id();
    bool closed_ = false;
    std::string closedWhy_;
};

} // namespace korvo
