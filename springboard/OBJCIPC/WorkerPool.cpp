#include "WorkerPool.h"

namespace objcipc {

WorkerPool::WorkerPool(std::size_t limit, Start start) : limit_(limit), start_(std::move(start)) {
    threads_.reserve(limit_);
}

bool WorkerPool::grow(const std::function<void()>& body) noexcept {
    std::lock_guard lock(mutex_);
    if (stopped_ || threads_.size() >= limit_) return false;
    try {
        // Capacity was reserved: the push cannot allocate.
        threads_.push_back(start_(body));
        return true;
    } catch (...) {
        return false;  // std::system_error, or bad_alloc copying `body`
    }
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
    }
    for (auto& thread : threads)
        if (thread.joinable()) thread.join();
}

}  // namespace objcipc
