// SpringBoard's IPC server with the real companion (VLIPC.so, loaded as the
// loader loads it) answering "VLIPC.Lists", while hostile apps connect over
// and over: random bytes, lying headers, frames cut off by an abrupt close,
// requests whose sender hangs up before the reply, and two that stall with a
// half-sent frame. Every good client's every message gets the right lists.
// (tests/ipc covers each bad frame once against a test handler; this is the
// churn of all of them at once against the deliverable.)

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "Frame.h"
#include "IPCServer.h"
#include "OBJCIPC.h"
#include "Platform.h"
#include "SpringBoardServices.h"
#include "TestDevice.h"

namespace {

int connectTo(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
    if (fd >= 0) ::close(fd);
    return -1;
}

void sendBytes(int fd, const std::string& bytes) {
    // The server may drop us at any point; that is the point.
    (void)::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
}

std::string header(std::uint32_t length) {
    return {static_cast<char>(length >> 24), static_cast<char>(length >> 16), static_cast<char>(length >> 8),
            static_cast<char>(length)};
}

TEST(HostileIPCClientsTest, GoodClientsGetTheListsWhileBadOnesChurn) {
    TestDevice device;
    const std::vector<std::string> lists{"Groceries", "Caf\xC3\xA9", "", "Work"};
    device.installClear(lists);
    springboard::setLogToStandardError(false);
    auto services = SpringBoardServices::boot(device.root());
    ASSERT_NE(dlopen(VELMORA_COMPANION_LIBRARY, RTLD_NOW | RTLD_LOCAL), nullptr) << dlerror();
    springboard::IPCServer::Options options;
    options.maxWorkers = 8;
    options.idleTimeout = std::chrono::milliseconds(2000);
    std::string error;
    auto server = springboard::IPCServer::start(device.root(), options, &error);
    ASSERT_TRUE(server) << error;
    const std::string socket = server->socketPath();

    Array expected(lists.begin(), lists.end());
    auto answeredRightly = [&] {
        const auto reply = OBJCIPC::sendMessageToSpringBoardWithMessageName("VLIPC.Lists", {}, 10.0);
        return reply && reply->size() == 1 && reply->count("lists") && reply->at("lists").isEqual(Value(expected));
    };
    ASSERT_TRUE(answeredRightly());

    // Two stallers hold a connection each with half a frame for the whole test.
    const std::string request = objcipc::encodeFrame(objcipc::requestBody("VLIPC.Lists", {}));
    std::vector<int> stallers;
    for (int i = 0; i < 2; ++i) {
        stallers.push_back(connectTo(socket));
        ASSERT_GE(stallers.back(), 0);
        sendBytes(stallers.back(), request.substr(0, request.size() / 2));
    }

    std::atomic<int> good{0}, wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 2; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 60; ++i) (answeredRightly() ? good : wrong)++;
        });
    }
    for (int t = 0; t < 2; ++t) {
        threads.emplace_back([&, t] {
            std::mt19937 random(1000 + t);
            std::uniform_int_distribution<int> byte(0, 255);
            for (int i = 0; i < 150; ++i) {
                const int fd = connectTo(socket);
                if (fd < 0) continue;
                switch (i % 5) {
                    case 0: {  // random bytes behind a header that announces them
                        std::string junk(1 + i % 64, '\0');
                        for (char& c : junk) c = static_cast<char>(byte(random));
                        sendBytes(fd, header(static_cast<std::uint32_t>(junk.size())) + junk);
                        break;
                    }
                    case 1: sendBytes(fd, header(0xFFFFFFFF)); break;  // far past the limit
                    case 2: sendBytes(fd, request.substr(0, 1 + i % (request.size() - 1))); break;  // cut off
                    case 3: sendBytes(fd, request); break;  // hangs up before the reply
                    case 4: break;                          // connects and leaves
                }
                ::close(fd);
            }
        });
    }
    for (auto& thread : threads) thread.join();
    for (int fd : stallers) ::close(fd);

    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(good.load(), 120);
    EXPECT_TRUE(answeredRightly());
    server->stop();
}

}  // namespace
