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

    // The listener is reported once per arrival, and arrivals close
    // together may be reported once: whoever takes a connection asks
    // `listenerHasMore` and, if so, `rearmListener` so that an idle worker
    // takes the next. Neither blocks.
    bool listenerHasMore() const;
    // Reports the listener again if a connection is waiting. Call with the
    // same lock as pause and resume; does nothing while paused.
    void rearmListener();

    // Stops reporting the listener (while out of descriptors) and starts
    // again, reporting it at once if a connection is waiting. Both
    // idempotent.
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
