#include "SocketIO.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

#include "Frame.h"

namespace objcipc {

namespace {

// Waits for `events` on `fd`; false on timeout, stop or error.
bool waitFor(int fd, short events, Clock::time_point deadline, int stopFd) {
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return false;
        pollfd fds[2] = {{fd, events, 0}, {stopFd, POLLIN, 0}};
        const int n = ::poll(fds, stopFd >= 0 ? 2 : 1, static_cast<int>(std::min<long long>(left, 1000 * 60)));
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) continue;
        if (stopFd >= 0 && (fds[1].revents & POLLIN)) return false;
        if (fds[0].revents & (events | POLLHUP | POLLERR)) return true;
    }
}

// Reads exactly `size` bytes. Absent on any shortfall (end of file included).
bool readExactly(int fd, char* buffer, std::size_t size, Clock::time_point deadline, int stopFd) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::recv(fd, buffer + done, size - done, MSG_DONTWAIT);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n == 0) {
            return false;
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            if (!waitFor(fd, POLLIN, deadline, stopFd)) return false;
        } else if (errno != EINTR) {
            return false;
        }
    }
    return true;
}

// A sockaddr_un for `path`, or for its /proc/self/fd alias through `dirFd`
// (opened here) when the path does not fit. False when neither fits.
bool makeAddress(const std::string& path, sockaddr_un& address, int& dirFd) {
    dirFd = -1;
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    std::string name = path;
    if (name.size() >= sizeof address.sun_path) {
        const auto slash = path.rfind('/');
        if (slash == std::string::npos) return false;
        const std::string directory = slash == 0 ? "/" : path.substr(0, slash);
        dirFd = ::open(directory.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (dirFd < 0) return false;
        name = "/proc/self/fd/" + std::to_string(dirFd) + "/" + path.substr(slash + 1);
        if (name.size() >= sizeof address.sun_path) {
            ::close(dirFd);
            dirFd = -1;
            errno = ENAMETOOLONG;
            return false;
        }
    }
    std::memcpy(address.sun_path, name.c_str(), name.size() + 1);
    return true;
}

}  // namespace

std::string socketPathForDevice(const std::string& deviceRoot) { return deviceRoot + "/var/run/objcipc.sock"; }

int bindUnixSocket(const std::string& path) {
    sockaddr_un address;
    int dirFd;
    if (!makeAddress(path, address, dirFd)) return -1;
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd >= 0 && ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const int saved = errno;
        ::close(fd);
        fd = -1;
        errno = saved;
    }
    if (dirFd >= 0) ::close(dirFd);
    return fd;
}

int connectUnixSocket(const std::string& path, Clock::time_point deadline) {
    for (;;) {
        sockaddr_un address;
        int dirFd;
        if (!makeAddress(path, address, dirFd)) return -1;
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        int result = -1;
        int error = 0;
        if (fd >= 0) {
            result = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
            error = errno;
        }
        if (dirFd >= 0) ::close(dirFd);
        if (fd < 0) return -1;
        if (result == 0) return fd;
        ::close(fd);
        // A full backlog is the only refusal worth waiting out.
        if (error != EAGAIN || Clock::now() >= deadline) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

std::optional<Dictionary> readFrame(int fd, Clock::time_point deadline, int stopFd) {
    unsigned char header[kFrameHeaderSize];
    if (!readExactly(fd, reinterpret_cast<char*>(header), sizeof header, deadline, stopFd)) return std::nullopt;
    const auto length = decodeFrameHeader(header);
    if (!length) return std::nullopt;
    std::string payload(*length, '\0');
    if (!readExactly(fd, payload.data(), payload.size(), deadline, stopFd)) return std::nullopt;
    return decodeFramePayload(payload);
}

bool writeAll(int fd, const std::string& bytes, Clock::time_point deadline, int stopFd) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!waitFor(fd, POLLOUT, deadline, stopFd)) return false;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            return false;
        }
    }
    return true;
}

}  // namespace objcipc
