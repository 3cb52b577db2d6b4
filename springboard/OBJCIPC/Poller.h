#pragma once

// The server's one epoll instance, with the listening socket and two
// eventfds (stop, ready) registered on it. Every idle worker waits here; the
// kernel hands each event to one of them. The Poller owns the epoll instance
// and the eventfds, never the descriptors it watches.

#include <chrono>
#include <cstdint>

#include "FileDescriptor.h"

namespace objcipc {

class Poller {
public:
    enum class Source { None, Listener, Stop, Ready, Connection };
    struct Event {
        Source source = Source::None;
        std::uint64_t id = 0;  // the connection's, for Source::Connection
    };
    enum class Interest { Read, Write };

    // Connection ids start here; those below name the Poller's own sources.
    static constexpr std::uint64_t kFirstConnectionId = 16;

    // Watches `listenFd` for incoming connections. Check `ok()` after.
    explicit Poller(int listenFd);
    Poller(const Poller&) = delete;
    Poller& operator=(const Poller&) = delete;

    // False when the epoll instance or an eventfd could not be made, with
    // errno saying why.
    bool ok() const { return ok_; }

    // One event, or Source::None after `timeout` (or on EINTR).
    Event wait(std::chrono::milliseconds timeout);

    // Arms `fd` for one event of `interest`, reported with `id`; `added`
    // says whether it is already known to this instance. False on failure.
    bool arm(int fd, std::uint64_t id, Interest interest, bool added);

    // Stops reporting the listener (while out of descriptors) and starts
    // again. Both idempotent.
    void pauseListener();
    void resumeListener();

    // The stop event stays readable once signalled: it wakes every waiter.
    void signalStop();
    // The ready event stays readable until drained.
    void signalReady();
    void drainReady();

private:
    bool watch(int fd, std::uint64_t id, std::uint32_t events, int op);

    int listenFd_;
    springboard::FileDescriptor epoll_;
    springboard::FileDescriptor stop_;
    springboard::FileDescriptor ready_;
    bool ok_ = false;
    bool listening_ = false;
};

}  // namespace objcipc
