#pragma once

// SpringBoard's end of OBJCIPC: a Unix-domain socket server inside the
// device directory that answers apps' messages with the handlers registered
// through OBJCIPC::registerIncomingMessageFromAppHandlerForMessageName.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>
#include <unordered_map>
#include <vector>

#include "HostExport.h"

namespace objcipc {

class HOST_API IPCServer {
public:
    struct Options {
        // Threads running handlers at once. A connection holds one only while
        // a whole request of it is handled and its reply sent, never while
        // it is idle or trickling bytes in.
        std::size_t maxWorkers = 32;
        // Connections kept open at once; a new one beyond this closes the
        // one that has waited longest for its next request.
        std::size_t maxOpenConnections = 256;
        // Requests answered on one connection before it is closed (after
        // the last reply), and the longest a connection is kept.
        std::size_t maxRequestsPerConnection = 1000;
        std::chrono::milliseconds maxConnectionLifetime{60000};
        // A connection that does not complete its next request (or take
        // its reply) within this is closed.
        std::chrono::milliseconds idleTimeout{10000};
    };

    // Listens at DEVICE/var/run/objcipc.sock (creating var/run when needed),
    // mode 0600. A stale socket left by a dead server is replaced; a live
    // server or a non-socket file at that path makes start fail. Returns
    // nullptr on failure, with the reason in `*error` when given.
    static std::unique_ptr<IPCServer> start(const std::string& deviceRoot, std::string* error = nullptr);
    static std::unique_ptr<IPCServer> start(const std::string& deviceRoot, Options options, std::string* error);

    // Stops, joining every thread, and removes the socket file if it is
    // still the one this server made. Idempotent; the destructor calls it.
    void stop();
    ~IPCServer();
    IPCServer(const IPCServer&) = delete;
    IPCServer& operator=(const IPCServer&) = delete;

    const std::string& socketPath() const { return socketPath_; }
    // Worker threads started so far (never more than maxWorkers).
    std::size_t workerCount();

    IPCServer(std::string socketPath, int listenFd, ino_t inode, dev_t device, Options options);

private:
    struct Connection;
    enum class Next { WaitForInput, WaitForOutput, Ready, Park, Close };

    void workerLoop();
    void acceptOne();
    void takeReady();
    void take(std::uint64_t id);
    // Advances a connection this worker holds, then settles it; whatever
    // it throws drops that connection alone.
    void serve(Connection& connection);
    Next advance(Connection& connection);
    Next readRequest(Connection& connection);
    Next answer(Connection& connection);
    Next writeReply(Connection& connection);
    void settle(Connection& connection, Next next);
    void closeLocked(std::uint64_t id);
    void evictOneLocked();
    void sweepLocked();
    void releaseBudgetLocked(Connection& connection);
    void pushReadyLocked(std::uint64_t id);

    const std::string socketPath_;
    const Options options_;
    const ino_t inode_;
    const dev_t device_;
    int listenFd_;
    // Every idle worker waits in epoll_wait on this one instance; the kernel
    // wakes the most recently waiting one first, whose stack and heap are
    // still warm. Connections are armed one-shot, so exactly one worker
    // takes each event.
    int epollFd_ = -1;
    int stopFd_ = -1;   // an eventfd, written once at stop
    int readyFd_ = -1;  // an eventfd, readable while ready_ is not empty

    std::mutex mutex_;
    std::unordered_map<std::uint64_t, std::unique_ptr<Connection>> connections_;
    std::deque<std::uint64_t> ready_;        // a whole request already buffered
    std::deque<std::uint64_t> parked_;       // waiting for request-byte budget
    std::size_t budgetUsed_ = 0;             // bytes of large requests in flight
    std::uint64_t nextId_ = 16;              // below: the listening socket and eventfds
    std::vector<std::thread> workers_;
    std::size_t idle_ = 0;                   // workers in epoll_wait
    bool stopping_ = false;
    std::chrono::steady_clock::time_point nextSweep_;
    std::mutex stopMutex_;
};

}  // namespace objcipc
