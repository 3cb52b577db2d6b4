#pragma once

// Every thread of this process on one CPU while it lives, then back on the
// CPUs each had. For the fixed cost of a message, where an unpinned round
// measures mostly where the scheduler happened to wake the server and the
// app (single rounds from 0.95 to 2.46 of the floor): on one CPU both sides
// pay the same switches, and the figure is their work.

#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace bench {

class OneCpu {
public:
    // Pins the threads to the CPU the calling thread runs on. Threads
    // started meanwhile inherit the pin from whichever thread starts them;
    // they are given back the calling thread's former CPUs.
    OneCpu() {
        if (::sched_getaffinity(0, sizeof former_, &former_) != 0) return;
        const int cpu = ::sched_getcpu();
        if (cpu < 0) return;
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(cpu, &one);
        pinned_ = forEachThread([&](pid_t tid) { return ::sched_setaffinity(tid, sizeof one, &one) == 0; });
    }
    OneCpu(const OneCpu&) = delete;
    OneCpu& operator=(const OneCpu&) = delete;
    ~OneCpu() {
        forEachThread([&](pid_t tid) { return ::sched_setaffinity(tid, sizeof former_, &former_) == 0; });
    }

    // Whether every thread was pinned.
    bool pinned() const { return pinned_; }

private:
    template <typename F>
    static bool forEachThread(F&& apply) {
        bool all = true;
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task", error))
            all = apply(static_cast<pid_t>(std::atol(entry.path().filename().c_str()))) && all;
        return all && !error;
    }

    cpu_set_t former_{};
    bool pinned_ = false;
};

}  // namespace bench
