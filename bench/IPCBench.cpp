// "VLIPC.Lists" over the socket: an app sends the message, SpringBoard's IPC
// server hands it to the companion's handler (the real VLIPC.so, loaded as
// the loader loads it), which reads Clear's 1,000 lists; the reply comes
// back. Against a raw read of the same database plus a raw Unix-socket
// ping-pong of the same request and reply sizes on a fresh connection (one
// connection per message, as the IPC library makes). And the message rate
// with 8 apps asking at once.

#include <dlfcn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "BenchDevice.h"
#include "Frame.h"
#include "IPCServer.h"
#include "OBJCIPC.h"
#include "PairedTiming.h"
#include "Platform.h"
#include "RawReads.h"
#include "SpringBoardServices.h"

namespace {

bool readExactly(int fd, char* buffer, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, buffer + done, size - done);
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool writeExactly(int fd, const char* buffer, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, buffer + done, size - done);
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// The baseline's server: per connection, read the request's bytes, write the
// reply's bytes, close. Nothing decoded, nothing looked up.
class PingPongServer {
public:
    PingPongServer(const std::string& path, std::size_t requestSize, std::size_t replySize)
        : path_(path), requestSize_(requestSize), reply_(replySize, 'r') {
        listenFd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        ::unlink(path.c_str());
        if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(listenFd_, 64) != 0) {
            ::close(listenFd_);
            listenFd_ = -1;
            return;
        }
        thread_ = std::thread([this] {
            std::vector<char> request(requestSize_);
            for (;;) {
                const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
                if (fd < 0 || stopping_) {
                    if (fd >= 0) ::close(fd);
                    return;
                }
                if (readExactly(fd, request.data(), request.size())) writeExactly(fd, reply_.data(), reply_.size());
                ::close(fd);
            }
        });
    }
    ~PingPongServer() {
        if (listenFd_ < 0) return;
        stopping_ = true;
        ::close(ping());  // wakes the accept loop
        thread_.join();
        ::close(listenFd_);
        ::unlink(path_.c_str());
    }
    bool ok() const { return listenFd_ >= 0; }

    // One exchange on a fresh connection; false when it fell short.
    bool exchange() const {
        const int fd = ping();
        if (fd < 0) return false;
        const std::string request(requestSize_, 'q');
        std::vector<char> reply(reply_.size());
        const bool done = writeExactly(fd, request.data(), request.size()) && readExactly(fd, reply.data(), reply.size());
        ::close(fd);
        return done;
    }

private:
    int ping() const {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path_.c_str(), sizeof address.sun_path - 1);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::close(fd);
            return -1;
        }
        return fd;
    }

    std::string path_;
    std::size_t requestSize_;
    std::string reply_;
    int listenFd_ = -1;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

// One device, one SpringBoard with VLIPC loaded and its IPC server, for the
// whole process (the loaded library and its registration last as long).
struct IPCDevice {
    static constexpr int kLists = 1000;
    bench::BenchDevice device{kLists, bench::PlistFormat::Binary};
    std::unique_ptr<SpringBoardServices> services;
    std::unique_ptr<springboard::IPCServer> server;
    bool loaded = false;

    IPCDevice() {
        springboard::setLogToStandardError(false);
        services = SpringBoardServices::boot(device.root());
        loaded = dlopen(VELMORA_COMPANION_LIBRARY, RTLD_NOW | RTLD_LOCAL) != nullptr;
        server = springboard::IPCServer::start(device.root());
    }
    static IPCDevice& instance() {
        static IPCDevice shared;
        return shared;
    }
};

std::optional<Dictionary> askForLists() {
    return OBJCIPC::sendMessageToSpringBoardWithMessageName("VLIPC.Lists", Dictionary{});
}

std::size_t listsIn(const std::optional<Dictionary>& reply) {
    if (!reply) return 0;
    auto lists = reply->find("lists");
    return lists != reply->end() && lists->second.asArray() ? lists->second.asArray()->size() : 0;
}

void BM_IPCListsRoundTrip(benchmark::State& state) {
    IPCDevice& ipc = IPCDevice::instance();
    const auto reply = askForLists();
    if (!ipc.loaded || !ipc.server || listsIn(reply) != IPCDevice::kLists) {
        state.SkipWithError("VLIPC did not answer with every list");
        return;
    }
    const std::size_t requestSize = objcipc::encodeFrame(objcipc::requestBody("VLIPC.Lists", Dictionary{})).size();
    const std::size_t replySize = objcipc::encodeFrame(objcipc::replyBody(*reply)).size();
    PingPongServer pingPong(ipc.device.root() + "/pingpong.sock", requestSize, replySize);
    if (!pingPong.ok() || !pingPong.exchange()) {
        state.SkipWithError("the raw ping-pong server did not answer");
        return;
    }
    bench::pairedLoop(
        state, [&] { benchmark::DoNotOptimize(askForLists()); },
        [&] {
            benchmark::DoNotOptimize(bench::rawListTitles(ipc.device.databasePath()));
            pingPong.exchange();
        });
    state.counters["reply_bytes"] = static_cast<double>(replySize);
}

BENCHMARK(BM_IPCListsRoundTrip)->UseManualTime()->Unit(benchmark::kMicrosecond)->MinTime(0.3);

// Messages answered per second with 8 apps sending at once.
void BM_IPCListsThroughput(benchmark::State& state) {
    IPCDevice& ipc = IPCDevice::instance();
    std::size_t failed = 0;
    for (auto _ : state) {
        if (listsIn(askForLists()) != IPCDevice::kLists) ++failed;
    }
    if (!ipc.loaded || failed > 0) state.SkipWithError("some messages went unanswered");
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_IPCListsThroughput)->Threads(8)->UseRealTime()->Unit(benchmark::kMicrosecond)->MinTime(0.5);

[[maybe_unused]] const bool goals = [] {
    bench::registerGoal("BM_IPCListsRoundTrip", 1.30);
    return true;
}();

}  // namespace
