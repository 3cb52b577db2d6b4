#include "IPCServer.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "Frame.h"
#include "HandlerTable.h"
#include "SocketIO.h"

namespace springboard {

namespace {

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
    const int probe = objcipc::connectUnixSocket(path, objcipc::Clock::now());
    if (probe >= 0) {
        ::close(probe);
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
    if (options.maxConnections == 0) options.maxConnections = 1;

    const std::string path = objcipc::socketPathForDevice(deviceRoot);
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    if (ec) return fail("cannot create " + std::filesystem::path(path).parent_path().string() + ": " + ec.message());
    if (!clearStaleSocket(path, reason)) return fail(reason);

    const int fd = objcipc::bindUnixSocket(path);
    if (fd < 0) return fail(describeErrno("cannot bind", path));
    struct stat info;
    if (::chmod(path.c_str(), 0600) != 0 || ::stat(path.c_str(), &info) != 0 || ::listen(fd, 128) != 0) {
        reason = describeErrno("cannot listen on", path);
        ::close(fd);
        ::unlink(path.c_str());
        return fail(reason);
    }
    auto server = std::make_unique<IPCServer>(path, fd, info.st_ino, info.st_dev, options);
    if (server->stopPipe_[0] < 0) return fail("cannot create the stop pipe");
    server->acceptThread_ = std::thread([raw = server.get()] { raw->acceptLoop(); });
    return server;
}

IPCServer::IPCServer(std::string socketPath, int listenFd, ino_t inode, dev_t device, Options options)
    : socketPath_(std::move(socketPath)), options_(options), inode_(inode), device_(device), listenFd_(listenFd) {
    if (::pipe2(stopPipe_, O_CLOEXEC | O_NONBLOCK) != 0) stopPipe_[0] = stopPipe_[1] = -1;
}

IPCServer::~IPCServer() { stop(); }

void IPCServer::stop() {
    std::lock_guard stopLock(stopMutex_);
    if (listenFd_ < 0) return;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    slotFreed_.notify_all();
    if (stopPipe_[1] >= 0) {
        const char byte = 0;
        [[maybe_unused]] const ssize_t n = ::write(stopPipe_[1], &byte, 1);
    }
    if (acceptThread_.joinable()) acceptThread_.join();
    workAvailable_.notify_all();
    std::vector<std::thread> workers;
    {
        std::lock_guard lock(mutex_);
        workers.swap(workers_);
    }
    for (auto& worker : workers) worker.join();
    // Accepted while stopping, never served: the peers see the socket close.
    for (const int fd : pending_) ::close(fd);
    pending_.clear();

    // Remove the socket only if it is still ours, not a successor's.
    struct stat info;
    if (::lstat(socketPath_.c_str(), &info) == 0 && info.st_ino == inode_ && info.st_dev == device_)
        ::unlink(socketPath_.c_str());
    ::close(listenFd_);
    listenFd_ = -1;
    for (int& fd : stopPipe_) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
}

void IPCServer::acceptLoop() {
    for (;;) {
        {
            // Bound the connections served at once: wait for a free slot
            // before accepting more.
            std::unique_lock lock(mutex_);
            slotFreed_.wait(lock, [this] { return stopping_ || active_ < options_.maxConnections; });
            if (stopping_) return;
        }
        pollfd fds[2] = {{listenFd_, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents) return;
        if (!(fds[0].revents & POLLIN)) continue;
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) continue;  // the peer gave up already, or a transient shortage

        std::lock_guard lock(mutex_);
        ++active_;
        pending_.push_back(fd);
        // Waiting workers take pending connections in any order; only when
        // there are fewer of them than connections waiting is one started,
        // so there are never more workers than connections served at once.
        if (idle_ >= pending_.size())
            workAvailable_.notify_one();
        else
            workers_.emplace_back([this] { workerLoop(); });
    }
}

void IPCServer::workerLoop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        ++idle_;
        workAvailable_.wait(lock, [this] { return stopping_ || !pending_.empty(); });
        --idle_;
        if (stopping_) return;
        const int fd = pending_.front();
        pending_.pop_front();
        lock.unlock();
        serve(fd);
        ::close(fd);
        lock.lock();
        --active_;
        slotFreed_.notify_all();
    }
}

void IPCServer::serve(int fd) {
    for (;;) {
        // Anything malformed, oversized, cut short or too slow ends the
        // connection; the peer learns of it by the closed socket.
        const auto body = objcipc::readFrame(fd, objcipc::Clock::now() + options_.idleTimeout, stopPipe_[0]);
        if (!body) return;
        const auto request = objcipc::requestFromBody(*body);
        if (!request) return;

        std::optional<Dictionary> reply;
        std::string error = "no handler for " + request->name;
        if (const auto handler = objcipc::handlerForMessageName(request->name)) {
            try {
                reply = (*handler)(request->message);
            } catch (const std::exception& exception) {
                error = "handler for " + request->name + " failed: " + exception.what();
            } catch (...) {
                error = "handler for " + request->name + " failed";
            }
        }
        const std::string frame = objcipc::encodeFrame(objcipc::replyBody(reply, error));
        if (!objcipc::writeAll(fd, frame, objcipc::Clock::now() + options_.idleTimeout, stopPipe_[0])) return;
    }
}

}  // namespace springboard
