#include "WorkerPool.h"

#include <algorithm>

namespace objcipc {

WorkerPool::WorkerPool(std::size_t limit, Start start) : limit_(limit), start_(std::move(start)) {
    threads_.reserve(limit_);
    retired_.reserve(limit_);
}

bool WorkerPool::grow(const std::function<void()>& body) noexcept {
    std::lock_guard lock(mutex_);
    if (stopped_ || threads_.size() >= limit_) return false;
    // Retired threads have returned, or are returning: joining is quick.
    for (auto& thread : retired_) thread.join();
    retired_.clear();
    try {
        // Capacity was reserved: the push cannot allocate.
        threads_.push_back(start_(body));
        return true;
    } catch (...) {
        return false;  // std::system_error, or bad_alloc copying `body`
    }
}

bool WorkerPool::retire() noexcept {
    std::lock_guard lock(mutex_);
    if (stopped_ || threads_.size() <= 1) return false;
    const auto self = std::find_if(threads_.begin(), threads_.end(),
                                   [](const std::thread& thread) { return thread.get_id() == std::this_thread::get_id(); });
    if (self == threads_.end()) return false;
    // Both have room for every thread: neither move allocates.
    retired_.push_back(std::move(*self));
    threads_.erase(self);
    return true;
}

std::size_t WorkerPool::size() const {
    std::lock_guard lock(mutex_);
    return threads_.size();
}

void WorkerPool::joinAll() {
    std::vector<std::thread> threads;
    {
        std::lock_guard lock(mutex_);
        stopped_ = true;
        threads.swap(threads_);
        for (auto& thread : retired_) threads.push_back(std::move(thread));
        retired_.clear();
    }
    for (auto& thread : threads)
        if (thread.joinable()) thread.join();
}

}  // namespace objcipc
