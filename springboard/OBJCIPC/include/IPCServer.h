#pragma once

// SpringBoard's end of OBJCIPC: a Unix-domain socket server inside the
// device directory that answers apps' messages with the handlers registered
// through OBJCIPC::registerIncomingMessageFromAppHandlerForMessageName.

#include <chrono>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <condition_variable>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

#include "HostExport.h"

namespace springboard {

class HOST_API IPCServer {
public:
    struct Options {
        // Connections served at once; further ones wait in the listen backlog.
        std::size_t maxConnections = 32;
        // A connection that sends nothing for this long (between frames or
        // in the middle of one) is closed.
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

    IPCServer(std::string socketPath, int listenFd, ino_t inode, dev_t device, Options options);

private:
    void acceptLoop();
    void workerLoop();
    void serve(int fd);

    const std::string socketPath_;
    const Options options_;
    const ino_t inode_;
    const dev_t device_;
    int listenFd_;
    int stopPipe_[2] = {-1, -1};

    // Connections are served by a pool of worker threads, started as the
    // load needs them (never more than maxConnections) and kept for the
    // next connections: starting a thread costs more than a small message.
    std::mutex mutex_;
    std::condition_variable slotFreed_;
    std::condition_variable workAvailable_;
    std::vector<std::thread> workers_;
    std::deque<int> pending_;  // accepted, not yet taken by a worker
    std::size_t idle_ = 0;     // workers waiting for a connection
    std::size_t active_ = 0;   // connections pending or being served
    bool stopping_ = false;
    std::thread acceptThread_;
    std::mutex stopMutex_;
};

}  // namespace springboard
