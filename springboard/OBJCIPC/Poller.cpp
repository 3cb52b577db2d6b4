#include "Poller.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace objcipc {

namespace {
constexpr std::uint64_t kListenerId = 1;
constexpr std::uint64_t kStopId = 2;
constexpr std::uint64_t kReadyId = 3;
constexpr std::uint32_t kListenerEvents = EPOLLIN;
}  // namespace

Poller::Poller(int listenFd)
    : listenFd_(listenFd),
      epoll_(::epoll_create1(EPOLL_CLOEXEC)),
      stop_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      ready_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    // Level-triggered: a worker that wakes and finds nothing left (another
    // took it first) simply waits again.
    ok_ = epoll_ && stop_ && ready_ && watch(stop_.get(), kStopId, EPOLLIN, EPOLL_CTL_ADD) &&
          watch(ready_.get(), kReadyId, EPOLLIN, EPOLL_CTL_ADD);
}

bool Poller::watch(int fd, std::uint64_t id, std::uint32_t events, int op) {
    epoll_event event{};
    event.events = events;
    event.data.u64 = id;
    return ::epoll_ctl(epoll_.get(), op, fd, &event) == 0;
}

Poller::Event Poller::wait(std::chrono::milliseconds timeout) {
    epoll_event event{};
    if (::epoll_wait(epoll_.get(), &event, 1, static_cast<int>(timeout.count())) != 1) return {};
    switch (event.data.u64) {
        case kListenerId: return {Source::Listener, 0};
        case kStopId: return {Source::Stop, 0};
        case kReadyId: return {Source::Ready, 0};
        default: return {Source::Connection, event.data.u64};
    }
}

bool Poller::arm(int fd, std::uint64_t id, Interest interest, bool added) {
    // One-shot: exactly one worker takes each event, and nothing is
    // reported again until the worker holding the connection re-arms it.
    const std::uint32_t events = (interest == Interest::Read ? EPOLLIN : EPOLLOUT) | EPOLLONESHOT;
    return watch(fd, id, events, added ? EPOLL_CTL_MOD : EPOLL_CTL_ADD);
}

bool Poller::watchListener() {
    if (!watching_) watching_ = listening_ = watch(listenFd_, kListenerId, kListenerEvents, EPOLL_CTL_ADD);
    return watching_;
}

void Poller::pauseListener() {
    if (watching_ && listening_ && watch(listenFd_, kListenerId, 0, EPOLL_CTL_MOD)) listening_ = false;
}

void Poller::resumeListener() {
    if (watching_ && !listening_ && watch(listenFd_, kListenerId, kListenerEvents, EPOLL_CTL_MOD)) listening_ = true;
}

void Poller::signalStop() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(stop_.get(), &one, sizeof one);
}

void Poller::signalReady() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(ready_.get(), &one, sizeof one);
}

void Poller::drainReady() {
    std::uint64_t count;
    [[maybe_unused]] const ssize_t n = ::read(ready_.get(), &count, sizeof count);
}

}  // namespace objcipc
