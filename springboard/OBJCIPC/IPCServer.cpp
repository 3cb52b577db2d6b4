#include "IPCServer.h"

#include <fcntl.h>
#include <malloc.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <new>

#include "Frame.h"
#include "HandlerTable.h"
#include "SocketIO.h"

namespace objcipc {

namespace {

using Clock = std::chrono::steady_clock;

// Event ids below the first connection's.
constexpr std::uint64_t kListenEvent = 1;
constexpr std::uint64_t kStopEvent = 2;
constexpr std::uint64_t kReadyEvent = 3;

// Most requests arrive whole, header and payload, in one read of this size.
constexpr std::size_t kFirstRead = 16 * 1024;
// Requests longer than this share one budget of bytes in flight: a hostile
// request can decode to a hundred times its size, so large ones are taken
// one budget's worth at a time, while small ones never wait.
constexpr std::size_t kSmallRequest = 64 * 1024;
constexpr std::size_t kLargeRequestBudget = objcipc::kMaxFramePayload;
// Replies longer than this get a socket buffer of their own size.
constexpr std::size_t kLargeReply = 64 * 1024;

void signalEventFd(int fd) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(fd, &one, sizeof one);
}

void drainEventFd(int fd) {
    std::uint64_t count;
    [[maybe_unused]] const ssize_t n = ::read(fd, &count, sizeof count);
}

std::string describeErrno(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

// Clears the way for a new socket at `path`: a socket nobody answers on is
// removed, anything else stays and makes start fail.
bool clearStaleSocket(const std::string& path, std::string& error) {
    struct stat info;
    if (::lstat(path.c_str(), &info) != 0) {
        if (errno == ENOENT) return true;
        error = describeErrno("cannot inspect", path);
        return false;
    }
    if (!S_ISSOCK(info.st_mode)) {
        error = "not a socket, left alone: " + path;
        return false;
    }
    if (objcipc::connectUnixSocket(path, objcipc::Clock::now())) {
        error = "another server is listening at " + path;
        return false;
    }
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
        error = describeErrno("cannot remove stale socket", path);
        return false;
    }
    return true;
}

}  // namespace

struct IPCServer::Connection {
    // Room for `size` bytes, keeping the `filled` ones.
    void reserve(std::size_t size) {
        if (capacity >= size) return;
        std::unique_ptr<char[]> bigger(new char[size]);
        if (filled > 0) std::memcpy(bigger.get(), in.get(), filled);
        in = std::move(bigger);
        capacity = size;
    }

    int fd = -1;
    std::uint64_t id = 0;
    // Request bytes read; the first `filled` are real. Never zero-filled:
    // clearing 16 KiB per message cost more than the rest of reading it.
    std::unique_ptr<char[]> in;
    std::size_t capacity = 0;
    std::size_t filled = 0;
    std::size_t frameSize = 0;   // header and payload, once the header is in
    std::size_t budget = 0;      // bytes taken from the large-request budget
    std::string out;             // the reply being sent
    std::size_t sent = 0;
    Clock::time_point deadline;  // closed unless its request (or reply) completes by then
    Clock::time_point expires;   // created + maxConnectionLifetime
    std::size_t served = 0;
    bool busy = false;           // a worker holds it; nobody else touches it
    bool registered = false;     // known to epoll (armed or spent)
};

std::unique_ptr<IPCServer> IPCServer::start(const std::string& deviceRoot, std::string* error) {
    return start(deviceRoot, Options{}, error);
}

std::unique_ptr<IPCServer> IPCServer::start(const std::string& deviceRoot, Options options, std::string* error) {
    std::string reason;
    auto fail = [&](std::string message) -> std::unique_ptr<IPCServer> {
        if (error) *error = std::move(message);
        return nullptr;
    };
    if (deviceRoot.empty()) return fail("no device directory");
    static std::once_flag allocatorTuned;
    std::call_once(allocatorTuned, [] {
        // Every reply is built in, and freed from, a buffer of its own size;
        // with glibc's defaults each large one is a fresh mmap (page faults
        // on every byte, munmap after) and each worker's heap is trimmed
        // back after each message (madvise), so a 10,000-list reply spends
        // more time faulting pages in than encoding. Keep such buffers in
        // the heap and the heap's top where it is. Memory still goes back
        // after hostile large requests (malloc_trim below).
        ::mallopt(M_MMAP_THRESHOLD, 32 << 20);
        ::mallopt(M_TRIM_THRESHOLD, 64 << 20);
    });
    options.maxWorkers = std::max<std::size_t>(options.maxWorkers, 1);
    options.maxOpenConnections = std::max(options.maxOpenConnections, options.maxWorkers + 1);
    options.maxRequestsPerConnection = std::max<std::size_t>(options.maxRequestsPerConnection, 1);

    const std::string path = objcipc::socketPathForDevice(deviceRoot);
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    if (ec) return fail("cannot create " + std::filesystem::path(path).parent_path().string() + ": " + ec.message());
    if (!clearStaleSocket(path, reason)) return fail(reason);

    springboard::FileDescriptor listener = objcipc::bindUnixSocket(path);
    if (!listener) return fail(describeErrno("cannot bind", path));
    struct stat info;
    if (::chmod(path.c_str(), 0600) != 0 || ::stat(path.c_str(), &info) != 0 || ::listen(listener.get(), 128) != 0 ||
        ::fcntl(listener.get(), F_SETFL, O_NONBLOCK) != 0) {
        reason = describeErrno("cannot listen on", path);
        ::unlink(path.c_str());
        return fail(reason);
    }
    auto server = std::make_unique<IPCServer>(path, listener.release(), info.st_ino, info.st_dev, options);
    if (server->epollFd_ < 0) return fail("cannot set up the event loop: " + std::string(std::strerror(errno)));
    std::lock_guard lock(server->mutex_);
    server->workers_.emplace_back([raw = server.get()] { raw->workerLoop(); });
    return server;
}

IPCServer::IPCServer(std::string socketPath, int listenFd, ino_t inode, dev_t device, Options options)
    : socketPath_(std::move(socketPath)), options_(options), inode_(inode), device_(device), listenFd_(listenFd) {
    epollFd_ = ::epoll_create1(EPOLL_CLOEXEC);
    stopFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    readyFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    const std::pair<int, std::uint64_t> sources[] = {{listenFd_, kListenEvent}, {stopFd_, kStopEvent}, {readyFd_, kReadyEvent}};
    bool ok = epollFd_ >= 0 && stopFd_ >= 0 && readyFd_ >= 0;
    for (const auto& [fd, id] : sources) {
        // Level-triggered: whoever wakes and finds nothing left (another
        // worker took it first) simply goes back to waiting. The listening
        // socket is one-shot besides: level-triggered alone, each idle
        // worker woke the next until one had accepted, so every connection
        // woke about ten of them for nothing.
        epoll_event event{};
        event.events = id == kListenEvent ? EPOLLIN | EPOLLONESHOT : EPOLLIN;
        event.data.u64 = id;
        ok = ok && ::epoll_ctl(epollFd_, EPOLL_CTL_ADD, fd, &event) == 0;
    }
    if (!ok) {
        for (int* fd : {&epollFd_, &stopFd_, &readyFd_}) {
            if (*fd >= 0) ::close(*fd);
            *fd = -1;
        }
    }
}

IPCServer::~IPCServer() { stop(); }

std::size_t IPCServer::workerCount() {
    std::lock_guard lock(mutex_);
    return workers_.size();
}

void IPCServer::stop() {
    std::lock_guard stopLock(stopMutex_);
    if (listenFd_ < 0) return;
    std::vector<std::thread> workers;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        workers.swap(workers_);
    }
    if (stopFd_ >= 0) signalEventFd(stopFd_);
    for (auto& worker : workers) worker.join();
    {
        // Connections still open get no answer: the peers see the socket close.
        std::lock_guard lock(mutex_);
        for (auto& [id, connection] : connections_) ::close(connection->fd);
        connections_.clear();
        ready_.clear();
        parked_.clear();
    }

    // Remove the socket only if it is still ours, not a successor's.
    struct stat info;
    if (::lstat(socketPath_.c_str(), &info) == 0 && info.st_ino == inode_ && info.st_dev == device_)
        ::unlink(socketPath_.c_str());
    ::close(listenFd_);
    listenFd_ = -1;
    for (int* fd : {&epollFd_, &stopFd_, &readyFd_}) {
        if (*fd >= 0) ::close(*fd);
        *fd = -1;
    }
}

void IPCServer::workerLoop() {
    const auto sweepInterval =
        std::clamp(options_.idleTimeout / 4, std::chrono::milliseconds(5), std::chrono::milliseconds(500));
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (stopping_) break;
            ++idle_;
        }
        epoll_event event{};
        const int n = ::epoll_wait(epollFd_, &event, 1, static_cast<int>(sweepInterval.count()));
        {
            std::lock_guard lock(mutex_);
            --idle_;
            if (stopping_) break;
            // Someone must stay waiting for the next connection while this
            // worker is busy: start another while under the limit.
            if (n > 0 && idle_ == 0 && workers_.size() < options_.maxWorkers)
                workers_.emplace_back([this] { workerLoop(); });
            const auto now = Clock::now();
            if (now >= nextSweep_) {
                sweepLocked();
                nextSweep_ = now + sweepInterval;
            }
        }
        if (n <= 0) continue;  // a timeout, or EINTR
        switch (event.data.u64) {
            case kListenEvent: acceptOne(); break;
            case kStopEvent: break;
            case kReadyEvent: takeReady(); break;
            default: take(event.data.u64); break;
        }
    }
    // Pass the stop on: each write wakes one more waiting worker.
    signalEventFd(stopFd_);
}

void IPCServer::acceptOne() {
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    // Re-armed at once, so the next waiting connection wakes another worker
    // while this one serves.
    epoll_event listen{};
    listen.events = EPOLLIN | EPOLLONESHOT;
    listen.data.u64 = kListenEvent;
    ::epoll_ctl(epollFd_, EPOLL_CTL_MOD, listenFd_, &listen);
    if (fd < 0) {
        if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
            // Out of descriptors: make room by closing the longest-idle
            // connection, else let the backlog hold the peer a moment.
            std::size_t before;
            {
                std::lock_guard lock(mutex_);
                before = connections_.size();
                evictOneLocked();
                if (connections_.size() < before) return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return;  // another worker took it, or the peer gave up already
    }
    Connection* connection;
    try {
        auto made = std::make_unique<Connection>();
        made->fd = fd;
        const auto now = Clock::now();
        made->expires = now + options_.maxConnectionLifetime;
        made->deadline = std::min(now + options_.idleTimeout, made->expires);
        made->busy = true;
        std::lock_guard lock(mutex_);
        if (stopping_) {
            ::close(fd);
            return;
        }
        if (connections_.size() >= options_.maxOpenConnections) evictOneLocked();
        made->id = nextId_++;
        connection = made.get();
        connections_.emplace(made->id, std::move(made));
    } catch (const std::bad_alloc&) {
        ::close(fd);
        return;
    }
    // The request is usually there already: answer it on this thread.
    serve(*connection);
}

void IPCServer::takeReady() {
    std::uint64_t id;
    {
        std::lock_guard lock(mutex_);
        if (ready_.empty()) return;
        id = ready_.front();
        ready_.pop_front();
        if (ready_.empty()) drainEventFd(readyFd_);
    }
    take(id);
}

void IPCServer::take(std::uint64_t id) {
    Connection* connection;
    {
        std::lock_guard lock(mutex_);
        const auto it = connections_.find(id);
        // Closed meanwhile (timed out, evicted), or an event left over.
        if (it == connections_.end() || it->second->busy) return;
        connection = it->second.get();
        connection->busy = true;
    }
    serve(*connection);
}

void IPCServer::serve(Connection& connection) {
    Next next;
    try {
        next = advance(connection);
    } catch (...) {
        // Out of memory for this connection's request or reply (or anything
        // else unforeseen): it alone is dropped.
        next = Next::Close;
    }
    settle(connection, next);
}

IPCServer::Next IPCServer::advance(Connection& connection) {
    // Too late for its request, its reply or its lifetime, though the sweep
    // has not come round to it yet.
    if (Clock::now() >= connection.deadline) return Next::Close;
    if (!connection.out.empty()) return writeReply(connection);
    return readRequest(connection);
}

IPCServer::Next IPCServer::readRequest(Connection& c) {
    for (;;) {
        if (c.frameSize == 0 && c.filled >= objcipc::kFrameHeaderSize) {
            // Anything malformed or oversized ends the connection; the peer
            // learns of it by the closed socket.
            const auto length = objcipc::decodeFrameHeader(reinterpret_cast<const unsigned char*>(c.in.get()));
            if (!length) return Next::Close;
            if (*length > kSmallRequest && c.budget == 0) {
                std::lock_guard lock(mutex_);
                if (budgetUsed_ > 0 && budgetUsed_ + *length > kLargeRequestBudget) return Next::Park;
                budgetUsed_ += *length;
                c.budget = *length;
            }
            c.frameSize = objcipc::kFrameHeaderSize + *length;
        }
        if (c.frameSize > 0 && c.filled >= c.frameSize) return answer(c);

        // Past the first read, exactly the rest of this frame is read.
        const std::size_t want = c.frameSize > 0 ? c.frameSize : kFirstRead;
        c.reserve(want);
        const ssize_t n = ::recv(c.fd, c.in.get() + c.filled, want - c.filled, MSG_DONTWAIT);
        if (n > 0) {
            c.filled += static_cast<std::size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return Next::WaitForInput;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            return Next::Close;  // end of file (maybe mid-frame) or an error
        }
    }
}

IPCServer::Next IPCServer::answer(Connection& c) {
    // The request and the handler's reply outlive the first send: freeing a
    // reply of 10,000 titles took about 220 us of a 3 ms round trip, and the
    // app had to wait for it. Now it overlaps with the app's reading.
    std::optional<Dictionary> body =
        objcipc::decodeFramePayload(std::string_view(c.in.get() + objcipc::kFrameHeaderSize, c.frameSize - objcipc::kFrameHeaderSize));
    std::optional<objcipc::Request> request = body ? objcipc::requestFromBody(*body) : std::nullopt;
    if (!request) return Next::Close;

    std::optional<Dictionary> reply;
    std::string error = "no handler for " + request->name;
    if (const auto handler = objcipc::handlerForMessageName(request->name)) {
        try {
            reply = (*handler)(request->message);
        } catch (const std::bad_alloc&) {
            throw;  // no answer can be built either: the connection goes
        } catch (const std::exception& exception) {
            error = "handler for " + request->name + " failed: " + exception.what();
        } catch (...) {
            error = "handler for " + request->name + " failed";
        }
    }
    std::string frame = objcipc::encodeFrame(objcipc::replyBody(reply, error));
    if (frame.size() - objcipc::kFrameHeaderSize > objcipc::kMaxReplyPayload)
        frame = objcipc::encodeFrame(objcipc::replyBody(std::nullopt, objcipc::kReplyTooLarge));
    if (c.budget > 0) {
        // A large request is hostile more often than not: what it decoded
        // to goes before its budget is handed back and the heap trimmed.
        body.reset();
        request.reset();
        reply.reset();
        {
            std::lock_guard lock(mutex_);
            releaseBudgetLocked(c);
        }
        // A large request's decoded objects are freed, but the allocator
        // keeps their pages in this thread's arena; the next large request,
        // decoded on another worker, would stack its own on top. Return them.
        ::malloc_trim(0);
    }
    // Bytes of a next request read along with this one move to the front.
    const std::size_t rest = c.filled - c.frameSize;
    std::memmove(c.in.get(), c.in.get() + c.frameSize, rest);
    c.filled = rest;
    c.frameSize = 0;
    if (rest == 0 && c.capacity > kFirstRead) {  // a large request's buffer goes
        c.in.reset();
        c.capacity = 0;
    }
    if (frame.size() > kLargeReply) {
        // A reply larger than the socket's buffer went out in pieces, each
        // after the app had read the last and a worker had woken for it.
        // Room for the whole reply (as far as the system allows) sends it in
        // one go.
        const int size = static_cast<int>(std::min<std::size_t>(frame.size(), objcipc::kMaxReplyPayload));
        ::setsockopt(c.fd, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
    }
    c.out = std::move(frame);
    c.sent = 0;
    c.deadline = std::min(Clock::now() + options_.idleTimeout, c.expires);
    return writeReply(c);
}

IPCServer::Next IPCServer::writeReply(Connection& c) {
    while (c.sent < c.out.size()) {
        const ssize_t n = ::send(c.fd, c.out.data() + c.sent, c.out.size() - c.sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            c.sent += static_cast<std::size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return Next::WaitForOutput;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            return Next::Close;
        }
    }
    c.out = std::string();
    const auto now = Clock::now();
    // A keep-alive client gets a worker for one request at a time, and a
    // connection is not kept forever.
    if (++c.served >= options_.maxRequestsPerConnection || now >= c.expires) return Next::Close;
    c.deadline = std::min(now + options_.idleTimeout, c.expires);
    if (c.filled == 0) {
        // An app that sends one message half-closes after it: seeing the end
        // now saves waiting for it. Bytes of a next request are kept.
        c.reserve(kFirstRead);
        const ssize_t n = ::recv(c.fd, c.in.get(), kFirstRead, MSG_DONTWAIT);
        if (n == 0) return Next::Close;
        if (n > 0) c.filled = static_cast<std::size_t>(n);
        else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return Next::Close;
    }
    if (c.filled >= objcipc::kFrameHeaderSize) {
        const auto length = objcipc::decodeFrameHeader(reinterpret_cast<const unsigned char*>(c.in.get()));
        if (!length) return Next::Close;
        if (c.filled >= objcipc::kFrameHeaderSize + *length) return Next::Ready;
    }
    return Next::WaitForInput;
}

void IPCServer::settle(Connection& c, Next next) {
    std::lock_guard lock(mutex_);
    if (next == Next::Close || stopping_) {
        closeLocked(c.id);
        return;
    }
    // Not busy before it is armed: the worker its event wakes must find it free.
    c.busy = false;
    switch (next) {
        case Next::WaitForInput:
        case Next::WaitForOutput: {
            epoll_event event{};
            event.events = (next == Next::WaitForInput ? EPOLLIN : EPOLLOUT) | EPOLLONESHOT;
            event.data.u64 = c.id;
            if (::epoll_ctl(epollFd_, c.registered ? EPOLL_CTL_MOD : EPOLL_CTL_ADD, c.fd, &event) != 0) {
                closeLocked(c.id);
                return;
            }
            c.registered = true;
            break;
        }
        case Next::Ready: pushReadyLocked(c.id); break;
        case Next::Park: parked_.push_back(c.id); break;
        case Next::Close: break;
    }
}

void IPCServer::closeLocked(std::uint64_t id) {
    const auto it = connections_.find(id);
    if (it == connections_.end()) return;
    releaseBudgetLocked(*it->second);
    ::close(it->second->fd);  // also takes it out of epoll
    connections_.erase(it);
}

void IPCServer::evictOneLocked() {
    auto oldest = connections_.end();
    for (auto it = connections_.begin(); it != connections_.end(); ++it) {
        if (!it->second->busy && (oldest == connections_.end() || it->second->deadline < oldest->second->deadline))
            oldest = it;
    }
    if (oldest != connections_.end()) closeLocked(oldest->first);
}

void IPCServer::sweepLocked() {
    const auto now = Clock::now();
    std::vector<std::uint64_t> expired;
    for (const auto& [id, connection] : connections_)
        if (!connection->busy && connection->deadline <= now) expired.push_back(id);
    for (const auto id : expired) closeLocked(id);
}

void IPCServer::releaseBudgetLocked(Connection& c) {
    if (c.budget == 0) return;
    budgetUsed_ -= c.budget;
    c.budget = 0;
    // Every parked connection tries again; those that still do not fit park again.
    while (!parked_.empty()) {
        pushReadyLocked(parked_.front());
        parked_.pop_front();
    }
}

void IPCServer::pushReadyLocked(std::uint64_t id) {
    if (ready_.empty()) signalEventFd(readyFd_);
    ready_.push_back(id);
}

}  // namespace objcipc
