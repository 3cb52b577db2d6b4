#include "SocketIO.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <thread>

#include "Frame.h"

namespace objcipc {

namespace {

// Waits for `events` on `fd`: Ok, TimedOut or Failed.
ReadStatus waitFor(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return ReadStatus::TimedOut;
        pollfd ready{fd, events, 0};
        const int n = ::poll(&ready, 1, static_cast<int>(std::min<long long>(left, 1000 * 60)));
        if (n < 0) {
            if (errno == EINTR) continue;
            return ReadStatus::Failed;
        }
        if (n > 0 && (ready.revents & (events | POLLHUP | POLLERR))) return ReadStatus::Ok;
    }
}

// Reads until `have` of the `size` bytes at `buffer` are at least `want`,
// reading at most `size`. Closed on end of file before that. A read comes
// first only when `mayRead` says bytes are likely waiting (the last read
// filled its buffer); otherwise each wait comes before the reads it allows,
// never after a read that found nothing: the peer is known to be answering.
ReadStatus readAtLeast(int fd, char* buffer, std::size_t size, std::size_t& have, std::size_t want,
                       Clock::time_point deadline, bool mayRead = false) {
    while (have < want) {
        if (!mayRead) {
            if (const ReadStatus waited = waitFor(fd, POLLIN, deadline); waited != ReadStatus::Ok) return waited;
            mayRead = true;
        }
        const ssize_t n = ::recv(fd, buffer + have, size - have, MSG_DONTWAIT);
        if (n > 0) {
            have += static_cast<std::size_t>(n);
        } else if (n == 0) {
            return ReadStatus::Closed;
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            mayRead = false;
        } else if (errno == ECONNRESET) {
            return ReadStatus::Closed;
        } else if (errno != EINTR) {
            return ReadStatus::Failed;
        }
    }
    return ReadStatus::Ok;
}

// A sockaddr_un for `path`, or for its /proc/self/fd alias through `dirFd`
// (opened here) when the path does not fit. False when neither fits.
bool makeAddress(const std::string& path, sockaddr_un& address, springboard::FileDescriptor& dirFd) {
    dirFd.reset();
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    std::string name = path;
    if (name.size() >= sizeof address.sun_path) {
        const auto slash = path.rfind('/');
        if (slash == std::string::npos) return false;
        const std::string directory = slash == 0 ? "/" : path.substr(0, slash);
        dirFd.reset(::open(directory.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (!dirFd) return false;
        name = "/proc/self/fd/" + std::to_string(dirFd.get()) + "/" + path.substr(slash + 1);
        if (name.size() >= sizeof address.sun_path) {
            dirFd.reset();
            errno = ENAMETOOLONG;
            return false;
        }
    }
    std::memcpy(address.sun_path, name.c_str(), name.size() + 1);
    return true;
}

}  // namespace

std::string socketPathForDevice(const std::string& deviceRoot) { return deviceRoot + "/var/run/objcipc.sock"; }

springboard::FileDescriptor bindUnixSocket(const std::string& path) {
    sockaddr_un address;
    springboard::FileDescriptor dirFd;
    if (!makeAddress(path, address, dirFd)) return {};
    springboard::FileDescriptor fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (fd && ::bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const int saved = errno;
        fd.reset();
        errno = saved;
    }
    return fd;
}

springboard::FileDescriptor connectUnixSocket(const std::string& path, Clock::time_point deadline) {
    for (;;) {
        sockaddr_un address;
        springboard::FileDescriptor dirFd;
        if (!makeAddress(path, address, dirFd)) return {};
        springboard::FileDescriptor fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
        if (!fd) return {};
        const int result = ::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
        const int error = errno;
        if (result == 0) return fd;
        fd.reset();
        // A full backlog is the only refusal worth waiting out.
        if (error != EAGAIN) {
            errno = error;
            return {};
        }
        if (Clock::now() >= deadline) {
            errno = ETIMEDOUT;
            return {};
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

FrameRead readFrame(int fd, Clock::time_point deadline, std::size_t maxPayload) {
    // A small frame arrives whole in this first read (uninitialised:
    // clearing it would cost more than reading into it). The payload then
    // moves into bytes of its announced size, which the reply's ASCII
    // strings are views of, and the rest is read straight there. Nothing
    // past the frame is read.
    constexpr std::size_t kFirstRead = 16 * 1024;
    char first[kFirstRead];
    std::size_t have = 0;
    FrameRead result;
    result.status = readAtLeast(fd, first, kFirstRead, have, kFrameHeaderSize, deadline);
    if (result.status != ReadStatus::Ok) return result;
    unsigned char header[kFrameHeaderSize];
    std::memcpy(header, first, kFrameHeaderSize);
    const auto length = decodeFrameHeader(header, maxPayload);
    if (!length) {
        const bool announced = header[0] | header[1] | header[2] | header[3];
        result.status = announced ? ReadStatus::Oversized : ReadStatus::Malformed;
        return result;
    }
    if (have > kFrameHeaderSize + *length) {  // the peer sent more than one frame: not a reply
        result.status = ReadStatus::Malformed;
        return result;
    }
    // A first read that filled its buffer most likely left the rest of a
    // large reply waiting: read it before waiting, saving a wait a reply.
    const bool restWaiting = have == kFirstRead;
    SharedBytes payload(*length);
    have -= kFrameHeaderSize;
    std::memcpy(payload.data(), first + kFrameHeaderSize, have);
    result.status = readAtLeast(fd, payload.data(), *length, have, *length, deadline, restWaiting);
    if (result.status != ReadStatus::Ok) return result;
    result.body = decodeFramePayload(std::string_view(payload.data(), *length), payload);
    if (!result.body) result.status = ReadStatus::Malformed;
    return result;
}

bool sendAll(int fd, const std::string& bytes, Clock::time_point deadline) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (waitFor(fd, POLLOUT, deadline) != ReadStatus::Ok) return false;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            return false;
        }
    }
    return true;
}

}  // namespace objcipc
