#pragma once

// What the IPC benchmarks share: one device with SpringBoard booted, the
// real companion (VLIPC.so, loaded as the loader loads it) and its IPC
// server, for the whole process; Clear's database on it swapped for one of
// any size; and the raw socket baselines.

#include <dlfcn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "BenchDevice.h"
#include "Client.h"
#include "IPCServer.h"
#include "OBJCIPC.h"
#include "Platform.h"
#include "SpringBoardServices.h"

namespace bench {

inline bool readExactly(int fd, char* buffer, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, buffer + done, size - done);
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

inline bool writeExactly(int fd, const char* buffer, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, buffer + done, size - done);
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

inline int connectUnix(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// The baseline's server: `threads` threads accepting on one socket; per
// connection, read the request's bytes, run `work` (nothing, or the raw
// database read), write the reply's bytes, close. Nothing decoded, nothing
// looked up.
class RawServer {
public:
    RawServer(const std::string& path, std::size_t requestSize, std::size_t replySize, int threads,
              std::function<void()> work = {})
        : path_(path), requestSize_(requestSize), reply_(replySize, 'r'), work_(std::move(work)) {
        listenFd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        ::unlink(path.c_str());
        if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(listenFd_, 128) != 0) {
            ::close(listenFd_);
            listenFd_ = -1;
            return;
        }
        for (int t = 0; t < threads; ++t) {
            threads_.emplace_back([this] {
                std::vector<char> request(requestSize_);
                for (;;) {
                    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
                    if (fd < 0 || stopping_) {
                        if (fd >= 0) ::close(fd);
                        return;
                    }
                    if (readExactly(fd, request.data(), request.size())) {
                        if (work_) work_();
                        writeExactly(fd, reply_.data(), reply_.size());
                    }
                    ::close(fd);
                }
            });
        }
    }
    ~RawServer() {
        if (listenFd_ < 0) return;
        stopping_ = true;
        for (std::size_t t = 0; t < threads_.size(); ++t) ::close(connectUnix(path_));  // wakes each accept
        for (auto& thread : threads_) thread.join();
        ::close(listenFd_);
        ::unlink(path_.c_str());
    }
    bool ok() const { return listenFd_ >= 0; }

    // One exchange on a fresh connection; false when it fell short.
    bool exchange() const {
        const int fd = connectUnix(path_);
        if (fd < 0) return false;
        const std::string request(requestSize_, 'q');
        std::vector<char> reply(reply_.size());
        const bool done = writeExactly(fd, request.data(), request.size()) && readExactly(fd, reply.data(), reply.size());
        ::close(fd);
        return done;
    }

private:
    std::string path_;
    std::size_t requestSize_;
    std::string reply_;
    std::function<void()> work_;
    int listenFd_ = -1;
    std::atomic<bool> stopping_{false};
    std::vector<std::thread> threads_;
};

// One device, one SpringBoard with VLIPC loaded and its IPC server, for the
// whole process (the loaded library and its registration last as long).
struct IPCDevice {
    static constexpr int kDefaultLists = 1000;
    BenchDevice device{kDefaultLists, PlistFormat::Binary};
    std::unique_ptr<SpringBoardServices> services;
    std::unique_ptr<objcipc::IPCServer> server;
    bool loaded = false;

    IPCDevice() {
        springboard::setLogToStandardError(false);
        services = SpringBoardServices::boot(device.root());
        loaded = dlopen(VELMORA_COMPANION_LIBRARY, RTLD_NOW | RTLD_LOCAL) != nullptr;
        server = objcipc::IPCServer::start(device.root());
        OBJCIPC::registerIncomingMessageFromAppHandlerForMessageName("Bench.Empty",
                                                                     [](const Dictionary&) { return Dictionary{}; });
        std::filesystem::copy_file(device.databasePath(), device.root() + "/lists-1000.sqlite");
    }
    static IPCDevice& instance() {
        static IPCDevice shared;
        return shared;
    }

    // Clear's database on this device now holds `lists` lists (made once per
    // size, then copied into place).
    void installLists(int lists) {
        const std::string saved = device.root() + "/lists-" + std::to_string(lists) + ".sqlite";
        if (!std::filesystem::exists(saved)) {
            BenchDevice other(lists, PlistFormat::Binary);
            std::filesystem::copy_file(other.databasePath(), saved);
        }
        std::filesystem::copy_file(saved, device.databasePath(), std::filesystem::copy_options::overwrite_existing);
    }
};

inline std::optional<Dictionary> askForLists() {
    return OBJCIPC::sendMessageToSpringBoardWithMessageName("VLIPC.Lists", Dictionary{});
}

inline std::size_t listsIn(const std::optional<Dictionary>& reply) {
    if (!reply) return 0;
    auto lists = reply->find("lists");
    return lists != reply->end() && lists->second.asArray() ? lists->second.asArray()->size() : 0;
}

}  // namespace bench
