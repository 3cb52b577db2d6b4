#pragma once

// The server's one epoll instance for events on open connections, with two
// eventfds (stop, ready) registered on it. Idle pollers wait here; the
// kernel hands each event to one of them. New connections are taken by the
// acceptors in a blocking accept, not through here, unless the server runs
// on one thread, which then watches the listener here too. The Poller owns
// the epoll instance and the eventfds, never the descriptors it watches.

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

    // `listenFd` is watched only once `watchListener` is called. Check `ok()`
    // after.
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

    // Reports the listener, level-triggered, from now on: for a server whose
    // one thread must accept too. Only one thread may wait then, or a
    // connection would wake them all. False on failure.
    bool watchListener();
    // Stops reporting the listener (while out of descriptors) and starts
    // again. Both idempotent, and nothing while it is not watched.
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
    bool watching_ = false;
    bool listening_ = false;
};

}  // namespace objcipc
