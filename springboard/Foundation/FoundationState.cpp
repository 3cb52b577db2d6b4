#include "FoundationState.h"

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>

#include "MainQueue.h"

namespace springboard {

namespace {

// Every piece below is never destroyed: code that logs, enqueues or posts
// while the process exits (from threads that outlive static destruction)
// still can.

struct LogState {
    std::mutex mutex;
    std::vector<std::pair<std::size_t, LogSink>> sinks;
    std::size_t nextId = 1;
    bool toStandardError = true;
};
LogState& logState() {
    static auto* s = new LogState;
    return *s;
}

struct PathState {
    std::mutex mutex;
    std::string root;
    HomeSetting home;
};
PathState& pathState() {
    static auto* s = new PathState;
    return *s;
}

class MainQueue {
public:
    void add(std::function<void()> block) {
        {
            std::lock_guard lock(mutex_);
            blocks_.push_back(std::move(block));
        }
        workArrived_.notify_all();
    }

    std::size_t drain() {
        std::lock_guard drainLock(drainMutex_);
        std::size_t ran = 0;
        for (;;) {
            std::function<void()> block;
            {
                std::lock_guard lock(mutex_);
                if (blocks_.empty()) return ran;
                block = std::move(blocks_.front());
                blocks_.pop_front();
            }
            // Run outside the lock: the block may enqueue more work.
            block();
            ++ran;
        }
    }

    bool waitForWork(std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        return workArrived_.wait_for(lock, timeout, [this] { return !blocks_.empty(); });
    }

    std::size_t pending() {
        std::lock_guard lock(mutex_);
        return blocks_.size();
    }

private:
    std::mutex drainMutex_;  // one drain at a time, so blocks never overlap
    std::mutex mutex_;       // guards blocks_
    std::condition_variable workArrived_;
    std::deque<std::function<void()>> blocks_;
};
MainQueue& mainQueue() {
    static auto* queue = new MainQueue;
    return *queue;
}

struct ListenerState {
    std::mutex mutex;
    std::map<std::size_t, NotificationPostListener> listeners;
    std::size_t lastId = 0;
};
ListenerState& listenerState() {
    static auto* s = new ListenerState;
    return *s;
}

struct ApplicationState {
    std::mutex mutex;
    std::shared_ptr<UIApplication> application;
};
ApplicationState& applicationState() {
    static auto* s = new ApplicationState;
    return *s;
}

}  // namespace

Registration addLogSink(LogSink sink) {
    auto& s = logState();
    std::lock_guard lock(s.mutex);
    const auto id = s.nextId++;
    s.sinks.emplace_back(id, std::move(sink));
    return Registration([id] {
        auto& s = logState();
        std::lock_guard lock(s.mutex);
        std::erase_if(s.sinks, [id](const auto& entry) { return entry.first == id; });
    });
}

void setLogToStandardError(bool enabled) {
    auto& s = logState();
    std::lock_guard lock(s.mutex);
    s.toStandardError = enabled;
}

LogTargets logTargets() {
    auto& s = logState();
    LogTargets targets;
    std::lock_guard lock(s.mutex);
    for (const auto& entry : s.sinks) targets.sinks.push_back(entry.second);
    targets.toStandardError = s.toStandardError;
    return targets;
}

void setDeviceRoot(const std::string& directory) {
    auto& s = pathState();
    std::lock_guard lock(s.mutex);
    s.root = directory;
    s.home = HomeSetting{directory, !directory.empty()};
}

std::string deviceRoot() {
    auto& s = pathState();
    std::lock_guard lock(s.mutex);
    return s.root;
}

void setHomeDirectory(const std::string& directory) {
    auto& s = pathState();
    std::lock_guard lock(s.mutex);
    s.home = HomeSetting{directory, false};
}

HomeSetting homeSetting() {
    auto& s = pathState();
    std::lock_guard lock(s.mutex);
    return s.home;
}

void enqueueOnMainQueue(std::function<void()> block) {
    if (block) mainQueue().add(std::move(block));
}

std::size_t drainMainQueue() { return mainQueue().drain(); }

bool waitForMainQueueWork(std::chrono::milliseconds timeout) { return mainQueue().waitForWork(timeout); }

std::size_t pendingMainQueueOperations() { return mainQueue().pending(); }

Registration addNotificationPostListener(NotificationPostListener listener) {
    auto& s = listenerState();
    std::size_t id;
    {
        std::lock_guard lock(s.mutex);
        id = ++s.lastId;
        s.listeners.emplace(id, std::move(listener));
    }
    return Registration([id] {
        auto& s = listenerState();
        std::lock_guard lock(s.mutex);
        s.listeners.erase(id);
    });
}

std::vector<NotificationPostListener> notificationPostListeners() {
    auto& s = listenerState();
    std::lock_guard lock(s.mutex);
    std::vector<NotificationPostListener> listeners;
    for (const auto& [id, listener] : s.listeners) listeners.push_back(listener);
    return listeners;
}

void setSharedApplication(std::shared_ptr<UIApplication> application) {
    auto& s = applicationState();
    std::lock_guard lock(s.mutex);
    s.application = std::move(application);
}

std::shared_ptr<UIApplication> sharedApplication() {
    auto& s = applicationState();
    std::lock_guard lock(s.mutex);
    return s.application;
}

}  // namespace springboard
