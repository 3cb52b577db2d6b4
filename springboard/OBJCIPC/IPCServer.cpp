#include "IPCServer.h"

#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <filesystem>
#include <mutex>

#include "ConnectionTable.h"
#include "Frame.h"
#include "HandlerTable.h"
#include "Poller.h"
#include "RequestBudget.h"
#include "ServerStart.h"
#include "SocketIO.h"

namespace objcipc {

namespace {

using Step = Connection::Step;

// Large requests share one budget of bytes in flight, and large replies
// another. A request's bytes (its decoded size is bounded by them) count
// from its header to its reply; a reply's from the moment it is built to
// its last byte sent, or its connection's deadline.
constexpr std::size_t kRequestBudget = kMaxFramePayload;
constexpr std::size_t kReplyBudget = 16u << 20;
// Replies up to this size never wait for the budget.
constexpr std::size_t kSmallReply = 64 * 1024;
// How long an acceptor waits for the request of a connection it took
// before the app sent it.
constexpr int kLateRequestWaitMs = 1;
// An acceptor busy this long looks for connections waiting behind it.
constexpr auto kLongServe = std::chrono::milliseconds(1);
// Connections were seen waiting this recently: spare acceptors stay in
// accept.
constexpr auto kOverlapMemory = std::chrono::milliseconds(100);

std::string describeErrno(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

// How often open connections are checked against their deadlines; idle
// threads wake this often to do it.
std::chrono::milliseconds sweepIntervalFor(const IPCServer::Options& options) {
    return std::clamp(options.idleTimeout / 4, std::chrono::milliseconds(5), std::chrono::milliseconds(500));
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
    if (connectUnixSocket(path, Clock::now())) {
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

struct IPCServer::Impl {
    Impl(std::string path, springboard::FileDescriptor listenSocket, const struct stat& info, const Options& options,
         WorkerPool::Start startThread)
        : socketPath(std::move(path)),
          options(options),
          limits{options.idleTimeout, options.maxConnectionLifetime, options.maxRequestsPerConnection},
          sweepInterval(sweepIntervalFor(options)),
          inode(info.st_ino),
          device(info.st_dev),
          listener(std::move(listenSocket)),
          poller(listener.get()),
          workers(options.maxWorkers, std::move(startThread)) {}
    ~Impl() { stop(); }

    // Pollers wait for events on open connections; acceptors block in
    // accept, the cheapest wait for a new connection, and answer it at once
    // when its request is there.
    enum class Role { Poller, Acceptor };
    // Starts one more thread of `role`, unless one thread does both.
    bool startWorker(Role role) {
        if (alone || !workers.grow([this, role] { role == Role::Poller ? pollerLoop() : acceptorLoop(); }))
            return false;
        ++(role == Role::Poller ? pollers : acceptors);
        return true;
    }
    // A poller and an acceptor, or one poller that accepts too when no
    // second thread can be had. The reason on failure.
    std::string startFirstWorkers();
    void stop();
    void pollerLoop();
    void acceptorLoop();
    // Whether the calling thread, idle for a whole sweep interval, may end:
    // each role keeps one.
    bool retireLocked(Role role);
    void sweepIfDueLocked(Clock::time_point now);
    // Whether the program's idle hook is due: a connection was adopted or a
    // worker retired since it last ran, no connection is open and none was
    // adopted for half a sweep interval. Taken when it is: it runs once for
    // that. Checked when a poller's wait runs out, every sweep interval
    // while nothing happens, so within one and a half of the load's end.
    bool idleHookDueLocked(Clock::time_point now);
    void runIdleHook() const noexcept;
    void acceptOne();
    // After a failed accept4: out of descriptors, make room or stop
    // accepting until some are given back; nothing for a passing failure.
    void acceptFailedLocked(int error);
    // Whether a connection waits in the listener's backlog.
    bool connectionWaiting() const;
    // When connections wait in the backlog: remembers that apps overlap,
    // and calls back a parked acceptor or starts one if none is in accept.
    void growAcceptorsIfNeededLocked();
    void resumeListenerLocked();
    void adopt(springboard::FileDescriptor socket);
    void takeReady();
    void take(std::uint64_t id);
    // `fresh`: just accepted, its request may be a moment behind.
    void serve(Connection& connection, bool fresh = false);
    Step advance(Connection& connection);
    // Whether `connection` may run its request's handler now, taking what
    // its reply is expected to need; false to park it.
    bool admit(Connection& connection);
    void answered(Connection& connection, const std::string& name, std::size_t replySize);
    void settle(Connection& connection, Step step, bool park);
    // Gives back what `closed` held; the parked connections try again when
    // anything came back, or when `wake`.
    void settleClosedLocked(ConnectionTable::Closed& closed, bool wake = false);
    void pushReadyLocked(std::uint64_t id);

    const std::string socketPath;
    const Options options;
    const Connection::Limits limits;
    const std::chrono::milliseconds sweepInterval;
    const ino_t inode;
    const dev_t device;
    springboard::FileDescriptor listener;
    Poller poller;

    std::mutex mutex;
    ConnectionTable table{Poller::kFirstConnectionId};
    std::deque<std::uint64_t> ready;   // a whole request already buffered
    std::deque<std::uint64_t> parked;  // waiting for budget
    std::uint64_t budgetWakes = 0;     // times the parked were woken
    RequestBudget requestBudget{kRequestBudget};
    RequestBudget replyBudget{kReplyBudget};
    std::size_t pollers = 0, acceptors = 0;          // threads of each role
    std::size_t idlePollers = 0, idleAcceptors = 0;  // those waiting
    std::size_t parkedAcceptors = 0;                 // spares, not in accept
    std::size_t unparkings = 0;                      // spares called back
    std::condition_variable unparked;                // a spare called back, or stopping
    Clock::time_point lastOverlap;                   // connections last seen waiting
    Clock::time_point lastAdopted;                   // the newest connection
    bool workSinceIdleHook = false;                  // adopted or retired since it ran
    bool alone = false;                              // one thread does both
    bool stopping = false;
    bool stopped = false;
    bool listenerPaused = false;
    std::condition_variable resumed;  // the listener, or stopping
    Clock::time_point nextSweep;
    std::mutex stopMutex;
    WorkerPool workers;
};

std::unique_ptr<IPCServer> IPCServer::start(const std::string& deviceRoot, std::string* error) {
    return start(deviceRoot, Options{}, error);
}

std::unique_ptr<IPCServer> IPCServer::start(const std::string& deviceRoot, Options options, std::string* error) {
    return startServer(deviceRoot, options, WorkerPool::startThread, error);
}

std::unique_ptr<IPCServer> startServer(const std::string& deviceRoot, IPCServer::Options options,
                                       WorkerPool::Start startThread, std::string* error) {
    std::string reason;
    auto fail = [&](std::string message) -> std::unique_ptr<IPCServer> {
        if (error) *error = std::move(message);
        return nullptr;
    };
    if (deviceRoot.empty()) return fail("no device directory");
    options.maxWorkers = std::max<std::size_t>(options.maxWorkers, 1);
    options.maxOpenConnections = std::max(options.maxOpenConnections, options.maxWorkers + 1);
    options.maxRequestsPerConnection = std::max<std::size_t>(options.maxRequestsPerConnection, 1);
    std::string path;
    try {
        path = socketPathForDevice(deviceRoot);
        const std::filesystem::path directory = std::filesystem::path(path).parent_path();
        std::error_code ec;
        std::filesystem::create_directories(directory, ec);
        if (ec) return fail("cannot create " + directory.string() + ": " + ec.message());
        if (!clearStaleSocket(path, reason)) return fail(reason);

        springboard::FileDescriptor listener = bindUnixSocket(path);
        if (!listener) return fail(describeErrno("cannot bind", path));
        struct stat info;
        // Blocking, so that acceptors wait in accept itself, and for no more
        // than a sweep interval, so that idle ones sweep and retire.
        const auto interval = sweepIntervalFor(options);
        const timeval acceptWait{static_cast<time_t>(interval.count() / 1000),
                                 static_cast<suseconds_t>(interval.count() % 1000 * 1000)};
        if (::chmod(path.c_str(), 0600) != 0 || ::stat(path.c_str(), &info) != 0 ||
            ::listen(listener.get(), 128) != 0 ||
            ::setsockopt(listener.get(), SOL_SOCKET, SO_RCVTIMEO, &acceptWait, sizeof acceptWait) != 0) {
            reason = describeErrno("cannot listen on", path);
            ::unlink(path.c_str());
            return fail(reason);
        }
        // From here the server owns the socket file: failing, it removes it.
        auto impl = std::make_unique<IPCServer::Impl>(path, std::move(listener), info, options, std::move(startThread));
        if (!impl->poller.ok()) return fail("cannot set up the event loop: " + std::string(std::strerror(errno)));
        if (reason = impl->startFirstWorkers(); !reason.empty()) return fail(reason + " for " + path);
        return std::make_unique<IPCServer>(std::move(impl));
    } catch (const std::exception& exception) {
        return fail("cannot start the server at " + path + ": " + exception.what());
    }
}

IPCServer::IPCServer(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
IPCServer::~IPCServer() = default;
void IPCServer::stop() { impl_->stop(); }
const std::string& IPCServer::socketPath() const { return impl_->socketPath; }
std::size_t IPCServer::workerCount() { return impl_->workers.size(); }

void IPCServer::Impl::stop() {
    std::lock_guard stopLock(stopMutex);
    if (stopped) return;
    stopped = true;
    {
        std::lock_guard lock(mutex);
        stopping = true;
        resumed.notify_all();
        unparked.notify_all();
    }
    poller.signalStop();
    // Acceptors blocked in accept return at once, and apps are refused.
    ::shutdown(listener.get(), SHUT_RD);
    workers.joinAll();
    {
        // Connections still open get no answer: the peers see the socket close.
        std::lock_guard lock(mutex);
        table.clear();
        ready.clear();
        parked.clear();
    }
    // Remove the socket only if it is still ours, not a successor's.
    struct stat info;
    if (::lstat(socketPath.c_str(), &info) == 0 && info.st_ino == inode && info.st_dev == device)
        ::unlink(socketPath.c_str());
    listener.reset();
}

std::string IPCServer::Impl::startFirstWorkers() {
    std::lock_guard lock(mutex);
    if (!startWorker(Role::Poller)) return "cannot start a worker thread";
    if (options.maxWorkers >= 2 && startWorker(Role::Acceptor)) return "";
    // The poller accepts too; alone, so that no other thread can take a
    // connection it was woken for and leave it blocked in accept.
    if (!poller.watchListener()) return "cannot watch the listener: " + std::string(std::strerror(errno));
    alone = true;
    return "";
}

namespace {

// A worker woken by an app's connection or request does not preempt the
// app: the app goes on to send its request and wait, and the worker runs
// when the CPU is free, finding the request whole. Preempting, on a busy or
// single CPU it found the connection empty and had to wait for it through
// the event loop, at twice the switches. Best effort: a worker that cannot
// change its policy serves as it is.
void yieldToApps() {
    sched_param normal{};
    ::pthread_setschedparam(::pthread_self(), SCHED_BATCH, &normal);
}

}  // namespace

void IPCServer::Impl::pollerLoop() {
    yieldToApps();
    for (;;) {
        {
            std::lock_guard lock(mutex);
            if (stopping) return;
            ++idlePollers;
        }
        const Poller::Event event = poller.wait(sweepInterval);
        bool idle = false;
        {
            std::lock_guard lock(mutex);
            --idlePollers;
            if (stopping) return;
            // Someone must stay waiting for the next event while this
            // poller is busy: start another while under the limit. One that
            // cannot be started is done without.
            if (event.source != Poller::Source::None && idlePollers == 0) startWorker(Role::Poller);
            // An acceptor held by a handler that does not return is noticed here.
            if (idleAcceptors == 0) growAcceptorsIfNeededLocked();
            const auto now = Clock::now();
            sweepIfDueLocked(now);
            if (event.source == Poller::Source::None) {
                if (retireLocked(Role::Poller)) return;
                idle = idleHookDueLocked(now);
            }
        }
        if (idle) runIdleHook();
        switch (event.source) {
            case Poller::Source::Listener: acceptOne(); break;
            case Poller::Source::Ready: takeReady(); break;
            case Poller::Source::Connection: take(event.id); break;
            case Poller::Source::Stop:
            case Poller::Source::None: break;
        }
    }
}

void IPCServer::Impl::acceptorLoop() {
    yieldToApps();
    for (;;) {
        {
            std::unique_lock lock(mutex);
            while (listenerPaused && !stopping)
                if (resumed.wait_for(lock, sweepInterval) == std::cv_status::timeout) sweepIfDueLocked(Clock::now());
            // Blocked in accept, the acceptor that has waited longest takes
            // the next connection: a second one there would take every
            // other message of an app from the one whose memory and CPU are
            // warm with them. So once apps stop overlapping, a spare parks
            // until connections wait for it, and retires after a sweep
            // interval parked. While they overlap, parking would only
            // leave their connections waiting to call it back.
            while (idleAcceptors > 0 && !stopping && Clock::now() - lastOverlap >= kOverlapMemory) {
                ++parkedAcceptors;
                const bool called = unparked.wait_for(lock, sweepInterval, [&] { return unparkings > 0 || stopping; });
                --parkedAcceptors;
                if (stopping) return;
                if (called) {
                    --unparkings;
                    break;
                }
                sweepIfDueLocked(Clock::now());
                if (retireLocked(Role::Acceptor)) return;
            }
            if (stopping) return;
            ++idleAcceptors;
        }
        // Each connection wakes one blocked acceptor; none wakes in
        // sweepInterval, and it returns EAGAIN.
        springboard::FileDescriptor socket(::accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
        const int error = socket ? 0 : errno;
        const auto accepted = Clock::now();
        {
            std::lock_guard lock(mutex);
            --idleAcceptors;
            if (stopping) return;
            sweepIfDueLocked(accepted);
            if (!socket) {
                if (error == EAGAIN || error == EWOULDBLOCK) {
                    if (retireLocked(Role::Acceptor)) return;
                } else {
                    acceptFailedLocked(error);
                }
                continue;
            }
        }
        adopt(std::move(socket));
        // Acceptors are not started ahead of need, as pollers are (see the
        // spares above). One app after another, one acceptor serves them
        // all; apps that overlap it leave connections waiting, seen after
        // a long answer (a short one is back in accept at once).
        if (Clock::now() - accepted >= kLongServe) {
            std::lock_guard lock(mutex);
            growAcceptorsIfNeededLocked();
        }
    }
}

bool IPCServer::Impl::connectionWaiting() const {
    pollfd waiting{listener.get(), POLLIN, 0};
    return ::poll(&waiting, 1, 0) == 1;
}

void IPCServer::Impl::growAcceptorsIfNeededLocked() {
    if (alone || stopping || !connectionWaiting()) return;
    // Apps overlap, whether or not an acceptor is there for this one.
    lastOverlap = Clock::now();
    if (idleAcceptors > 0) return;
    if (parkedAcceptors > unparkings) {
        ++unparkings;
        unparked.notify_one();
    } else {
        startWorker(Role::Acceptor);
    }
}

bool IPCServer::Impl::retireLocked(Role role) {
    std::size_t& ofRole = role == Role::Poller ? pollers : acceptors;
    // Its stack and its share of the heap go back.
    if (ofRole <= 1 || !workers.retire()) return false;
    --ofRole;
    workSinceIdleHook = true;
    return true;
}

bool IPCServer::Impl::idleHookDueLocked(Clock::time_point now) {
    if (!options.whenIdle || !workSinceIdleHook || table.size() > 0 || now - lastAdopted < sweepInterval / 2)
        return false;
    workSinceIdleHook = false;
    return true;
}

void IPCServer::Impl::runIdleHook() const noexcept {
    try {
        options.whenIdle();
    } catch (...) {
        // The program's policy failed; serving goes on.
    }
}

void IPCServer::Impl::sweepIfDueLocked(Clock::time_point now) {
    if (now < nextSweep) return;
    ConnectionTable::Closed closed;
    table.sweep(now, closed);
    settleClosedLocked(closed);
    resumeListenerLocked();
    nextSweep = now + sweepInterval;
}

void IPCServer::Impl::acceptOne() {
    springboard::FileDescriptor socket(::accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
    if (!socket) {
        const int error = errno;
        std::lock_guard lock(mutex);
        acceptFailedLocked(error);
        return;
    }
    adopt(std::move(socket));
}

void IPCServer::Impl::acceptFailedLocked(int error) {
    // Nothing to take (another thread took it, or the wait ran out), or the
    // peer gave up: nothing to mend.
    if (error == EAGAIN || error == EWOULDBLOCK || error == EINTR || error == ECONNABORTED) return;
    // Out of descriptors (or anything else unforeseen): make room by closing
    // the longest-idle connection when a new one waits (a blocking accept
    // reports the shortage before it waits for one), else stop accepting
    // until a connection closes or the next sweep (the backlog holds the
    // peers meanwhile).
    const bool shortage = error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM;
    ConnectionTable::Closed closed;
    if (!(shortage && connectionWaiting() && table.evictOne(closed))) {
        poller.pauseListener();
        listenerPaused = true;
    }
    settleClosedLocked(closed);
}

void IPCServer::Impl::resumeListenerLocked() {
    if (!listenerPaused) return;
    poller.resumeListener();
    listenerPaused = false;
    resumed.notify_all();
}

void IPCServer::Impl::adopt(springboard::FileDescriptor socket) {
    Connection* connection;
    try {
        std::lock_guard lock(mutex);
        if (stopping) return;
        if (table.size() >= options.maxOpenConnections) {
            ConnectionTable::Closed closed;
            table.evictOne(closed);
            settleClosedLocked(closed);
        }
        lastAdopted = Clock::now();
        workSinceIdleHook = true;
        auto made = std::make_unique<Connection>(std::move(socket), table.nextId(), lastAdopted, limits);
        made->busy = true;
        connection = &table.add(std::move(made));
    } catch (const std::bad_alloc&) {
        return;  // the socket closes with `socket` or the half-made connection
    }
    // The request is usually there already: answer it on this thread.
    serve(*connection, true);
}

void IPCServer::Impl::takeReady() {
    std::uint64_t id;
    {
        std::lock_guard lock(mutex);
        if (ready.empty()) return;
        id = ready.front();
        ready.pop_front();
        if (ready.empty()) poller.drainReady();
    }
    take(id);
}

void IPCServer::Impl::take(std::uint64_t id) {
    Connection* connection;
    {
        std::lock_guard lock(mutex);
        connection = table.find(id);
        // Closed meanwhile (timed out, evicted), or an event left over.
        if (!connection || connection->busy) return;
        connection->busy = true;
    }
    serve(*connection);
}

void IPCServer::Impl::serve(Connection& connection, bool fresh) {
    Step step;
    bool park = false;
    try {
        step = advance(connection);
        // The app that connected is about to send: it was only preempted
        // between its connect and its send, or runs on another CPU. Waiting
        // for it here costs one call where the event loop costs two and a
        // second thread; an app that does not send in time waits there.
        if (fresh && step == Step::WaitForInput) {
            pollfd request{connection.fd(), POLLIN, 0};
            if (::poll(&request, 1, kLateRequestWaitMs) == 1) step = advance(connection);
        }
        park = step == Step::NeedBudget;
    } catch (...) {
        // Out of memory for this connection's request or reply (or anything
        // else unforeseen): it alone is dropped.
        step = Step::Close;
    }
    settle(connection, step, park);
}

// Returns NeedBudget to park the connection until budget is given back.
Step IPCServer::Impl::advance(Connection& c) {
    for (;;) {
        const auto now = Clock::now();
        // Too late for its request, its reply or its lifetime, though the
        // sweep has not come round to it yet: a reply not taken in time is
        // dropped with it.
        if (now >= c.deadline()) return Step::Close;
        if (c.sending()) {
            const Step sent = c.write();
            if (sent != Step::Whole) return sent;
            if (c.held().reply > 0) {
                std::lock_guard lock(mutex);
                ConnectionTable::Closed freed;
                freed.held.reply = std::exchange(c.held().reply, 0);
                settleClosedLocked(freed);
            }
            const Step next = c.afterReply(now);
            if (next != Step::Whole) return next;
            continue;
        }
        if (!c.request()) {
            const Step read = c.read();
            if (read == Step::NeedBudget) {
                std::lock_guard lock(mutex);
                if (!requestBudget.tryTake(c.announced())) {
                    c.budgetWakesSeen = budgetWakes;
                    return Step::NeedBudget;
                }
                c.held().request = c.announced();
                continue;
            }
            if (read != Step::Whole) return read;
            if (!c.decode()) return Step::Close;
        }
        if (!admit(c)) return Step::NeedBudget;
        const std::string name = c.learning;
        answered(c, name, c.answer(now));
    }
}

bool IPCServer::Impl::admit(Connection& c) {
    const std::string& name = c.request()->name;
    // Only names with a handler are remembered: their number is the handler table's.
    if (!handlerForMessageName(name)) return true;
    std::lock_guard lock(mutex);
    using State = RequestBudget::Expectation::State;
    const RequestBudget::Expectation expected = replyBudget.expect(name);
    if (expected.state == State::Learning) {
        c.budgetWakesSeen = budgetWakes;
        return false;
    }
    // A handler not known to answer small may hold this thread a while:
    // connections waiting behind it get an acceptor of their own now.
    if (expected.state == State::New || expected.bytes > 0) growAcceptorsIfNeededLocked();
    if (expected.state == State::New) {
        // Nobody knows yet how large its reply is: it runs alone, once.
        c.learning = name;
        return true;
    }
    if (expected.bytes == 0) return true;
    if (!replyBudget.tryTake(expected.bytes)) {
        c.budgetWakesSeen = budgetWakes;
        return false;
    }
    c.held().reply = expected.bytes;
    return true;
}

void IPCServer::Impl::answered(Connection& c, const std::string& learned, std::size_t replySize) {
    std::lock_guard lock(mutex);
    ConnectionTable::Closed freed;
    freed.held.request = std::exchange(c.held().request, 0);
    if (!learned.empty()) {
        replyBudget.learn(learned, replySize, kSmallReply);
        c.learning.clear();
    }
    // The reply's bytes count as built, whether or not they fit.
    if (replySize > kSmallReply) {
        if (replySize > c.held().reply)
            replyBudget.take(replySize - c.held().reply);
        else
            freed.held.reply = c.held().reply - replySize;
        c.held().reply = replySize;
    } else {
        freed.held.reply = std::exchange(c.held().reply, 0);
    }
    // Learning done: whoever waited for it tries again.
    settleClosedLocked(freed, !learned.empty());
}

void IPCServer::Impl::settle(Connection& c, Step step, bool park) {
    std::lock_guard lock(mutex);
    if (step == Step::Close || stopping) {
        ConnectionTable::Closed closed;
        table.remove(c.id(), closed);
        settleClosedLocked(closed);
        resumeListenerLocked();
        return;
    }
    // Not busy before it is armed: the worker its event wakes must find it free.
    c.busy = false;
    if (park) {
        // Budget given back (or a reply's size learned) after this
        // connection found none woke only those parked then: it tries again
        // rather than waiting for a wake that may never come.
        if (c.budgetWakesSeen != budgetWakes)
            pushReadyLocked(c.id());
        else
            parked.push_back(c.id());
        return;
    }
    switch (step) {
        case Step::WaitForInput:
        case Step::WaitForOutput:
            if (!poller.arm(c.fd(), c.id(),
                            step == Step::WaitForInput ? Poller::Interest::Read : Poller::Interest::Write,
                            c.registered)) {
                ConnectionTable::Closed closed;
                table.remove(c.id(), closed);
                settleClosedLocked(closed);
                return;
            }
            c.registered = true;
            break;
        case Step::Whole: pushReadyLocked(c.id()); break;
        case Step::NeedBudget:
        case Step::Close: break;
    }
}

void IPCServer::Impl::settleClosedLocked(ConnectionTable::Closed& closed, bool wake) {
    requestBudget.give(closed.held.request);
    replyBudget.give(closed.held.reply);
    for (const std::string& name : closed.learning) replyBudget.forget(name);
    if (!wake && closed.held.request == 0 && closed.held.reply == 0 && closed.learning.empty()) return;
    // Every parked connection tries again; those that still do not fit park again.
    ++budgetWakes;
    while (!parked.empty()) {
        pushReadyLocked(parked.front());
        parked.pop_front();
    }
}

void IPCServer::Impl::pushReadyLocked(std::uint64_t id) {
    if (ready.empty()) poller.signalReady();
    ready.push_back(id);
}

}  // namespace objcipc
