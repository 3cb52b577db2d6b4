#pragma once

// The server's threads: started one at a time as the load asks for them, up
// to a limit, retired when idle, and joined at stop. Starting one can fail
// (the system is out of threads or memory); the pool then goes on with
// those it has.

#include <cstddef>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace objcipc {

class WorkerPool {
public:
    // How a thread is started; may throw, as std::thread's constructor does.
    using Start = std::function<std::thread(std::function<void()>)>;
    static std::thread startThread(std::function<void()> body) { return std::thread(std::move(body)); }

    // Room for `limit` threads is made here, so that growing never allocates.
    explicit WorkerPool(std::size_t limit, Start start = startThread);
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;
    ~WorkerPool() { joinAll(); }

    // Starts one more thread running `body`; false when at the limit, when
    // stopped, or when the thread could not be started. Never throws.
    bool grow(const std::function<void()>& body) noexcept;
    // Ends the calling worker's place in the pool, unless it is the last:
    // the caller must then return at once. It is joined by the next grow()
    // or by joinAll(). Never throws.
    bool retire() noexcept;
    // Threads in the pool, not counting retired ones.
    std::size_t size() const;
    // Joins every thread; no more start after.
    void joinAll();

private:
    mutable std::mutex mutex_;
    const std::size_t limit_;
    Start start_;
    std::vector<std::thread> threads_;
    std::vector<std::thread> retired_;
    bool stopped_ = false;
};

}  // namespace objcipc
