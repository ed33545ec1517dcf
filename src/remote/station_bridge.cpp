#include "remote/station_bridge.h"

#include <exception>
#include <utility>

namespace korvo {

// Shared by the waiting caller and the station's thread; whichever lets go last frees it.
struct StationBridge::Call {
    Job job;
    std::mutex mutex;
    std::condition_variable answered;
    bool hasAnswer = false;
    bool begun = false;
    bool abandoned = false; // the caller stopped waiting
    RemoteAnswer answer;

    void give(RemoteAnswer a) {
        std::lock_guard<std::mutex> lock(mutex);
        if (hasAnswer) return;
        answer = std::move(a);
        hasAnswer = true;
        answered.notify_all();
    }
};

namespace {

std::string millisecondsText(std::chrono::milliseconds ms) {
    return std::to_string(ms.count()) + " ms";
}

} // namespace

RemoteAnswer StationBridge::call(Job job, std::chrono::milliseconds bound) {
    auto c = std::make_shared<Call>();
    c->job = std::move(job);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closed_) return RemoteAnswer::refused(closedWhy_);
        queue_.push_back(c);
        pending_.store(true, std::memory_order_release);
    }
    work_.notify_one();
    if (wake) wake();
    std::unique_lock<std::mutex> lock(c->mutex);
    if (c->answered.wait_for(lock, bound, [&] { return c->hasAnswer; })) return c->answer;
    c->abandoned = true;
    return RemoteAnswer::refused(c->begun ? "Korvo did not finish the request within " + millisecondsText(bound) +
                                                "; it may still take effect."
                                          : "Korvo did not answer within " + millisecondsText(bound) +
                                                "; the request was dropped.");
}

void StationBridge::serve() {
    while (pending()) {
        std::shared_ptr<Call> c;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (queue_.empty()) {
                pending_.store(false, std::memory_order_release);
                return;
            }
            c = std::move(queue_.front());
            queue_.pop_front();
            pending_.store(!queue_.empty(), std::memory_order_release);
        }
        {
            std::lock_guard<std::mutex> lock(c->mutex);
            if (c->abandoned) continue;
            c->begun = true;
        }
        const RemoteReply reply = [c](RemoteAnswer a) { c->give(std::move(a)); };
        try {
            c->job(reply);
        } catch (const std::exception& e) {
            c->give(RemoteAnswer::refused(std::string("The request failed: ") + e.what()));
        }
        c->give(RemoteAnswer::refused("The request ended without an answer."));
    }
}

void StationBridge::waitForWork(std::chrono::milliseconds bound) {
    std::unique_lock<std::mutex> lock(mutex_);
    work_.wait_for(lock, bound, [&] { return !queue_.empty() || closed_; });
}

void StationBridge::close(const std::string& why) {
    std::deque<std::shared_ptr<Call>> dropped;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
        closedWhy_ = why;
        dropped.swap(queue_);
        pending_.store(false, std::memory_order_release);
    }
    work_.notify_all();
    for (auto& c : dropped) c->give(RemoteAnswer::refused(why));
}

} // namespace korvo
