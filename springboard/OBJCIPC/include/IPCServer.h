#pragma once

// SpringBoard's end of OBJCIPC: a Unix-domain socket server inside the
// device directory that answers apps' messages with the handlers registered
// through OBJCIPC::registerIncomingMessageFromAppHandlerForMessageName.

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "InternalExport.h"

namespace objcipc {

class INTERNAL_API IPCServer {
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
        // Run when the server has gone idle after work: no connection open,
        // none accepted for half a sweep interval (a sweep interval is a
        // quarter of idleTimeout, kept within 5-500 ms), and since it last
        // ran a connection was accepted or a thread retired; it is seen
        // within one and a half sweep intervals. Runs once for that, on a
        // server thread, outside the server's locks; what it throws is
        // ignored, and it must not call the server. Where a program gives
        // back the memory the load left free, by its own allocator policy:
        // the library has none.
        std::function<void()> whenIdle;
    };

    // Listens at DEVICE/var/run/objcipc.sock (creating var/run when needed),
    // mode 0600. A stale socket left by a dead server is replaced; a live
    // server or a non-socket file at that path makes start fail. Returns
    // nullptr on any failure (the first worker thread among them), with the
    // reason in `*error` when given; never throws.
    static std::unique_ptr<IPCServer> start(const std::string& deviceRoot, std::string* error = nullptr);
    static std::unique_ptr<IPCServer> start(const std::string& deviceRoot, Options options, std::string* error);

    // Stops, joining every thread, and removes the socket file if it is
    // still the one this server made. Idempotent; the destructor calls it.
    void stop();
    ~IPCServer();
    IPCServer(const IPCServer&) = delete;
    IPCServer& operator=(const IPCServer&) = delete;

    const std::string& socketPath() const;
    // Worker threads started so far (never more than maxWorkers). Threads
    // that cannot be started are done without: the server goes on with those
    // it has.
    std::size_t workerCount();

    // Made only by start(); what it is made of is the library's own.
    struct Impl;
    explicit IPCServer(std::unique_ptr<Impl> impl);

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace objcipc
