#include <gtest/gtest.h>

#include <sched.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "Client.h"
#include "Frame.h"
#include "IPCServer.h"
#include "OBJCIPC.h"
#include "Platform.h"
#include "ServerStart.h"
#include "TempDirectory.h"

namespace {

// A raw connection to the server, for sending what a well-behaved client
// never would.
class RawConnection {
public:
    explicit RawConnection(const std::string& path) {
        fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::close(fd_);
            fd_ = -1;
        }
        timeval timeout{30, 0};  // a safety net only: the server should close long before
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    }
    ~RawConnection() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool connected() const { return fd_ >= 0; }
    // Reads until the server closes; the number of bytes read.
    std::size_t readToEnd() {
        std::size_t total = 0;
        char buffer[65536];
        for (ssize_t n; (n = ::recv(fd_, buffer, sizeof buffer, 0)) > 0;) total += static_cast<std::size_t>(n);
        return total;
    }
    void send(const std::string& bytes) { ASSERT_EQ(::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size())); }
    bool trySend(const std::string& bytes) {
        return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
    }
    void shutdownWrite() { ::shutdown(fd_, SHUT_WR); }
    // True when the server closed the connection without sending anything
    // (a reset when it never got round to accepting it).
    bool closedByServer() {
        char byte;
        const ssize_t n = ::recv(fd_, &byte, 1, 0);
        return n == 0 || (n < 0 && errno == ECONNRESET);
    }
    std::optional<Dictionary> readReply() {
        unsigned char head[4];
        if (!readAll(reinterpret_cast<char*>(head), 4)) return std::nullopt;
        const auto length = objcipc::decodeFrameHeader(head);
        if (!length) return std::nullopt;
        std::string payload(*length, '\0');
        if (!readAll(payload.data(), payload.size())) return std::nullopt;
        return objcipc::decodeFramePayload(payload);
    }

private:
    bool readAll(char* buffer, std::size_t size) {
        for (std::size_t done = 0; done < size;) {
            const ssize_t n = ::recv(fd_, buffer + done, size - done, 0);
            if (n <= 0) return false;
            done += static_cast<std::size_t>(n);
        }
        return true;
    }
    int fd_ = -1;
};

std::string header(std::uint32_t length) {
    return {static_cast<char>(length >> 24), static_cast<char>(length >> 16), static_cast<char>(length >> 8),
            static_cast<char>(length)};
}

class IPCServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        springboard::setDeviceRoot(device_.str());
        OBJCIPC::registerIncomingMessageFromAppHandlerForMessageName("Test.Echo", [](const Dictionary& message) {
            Dictionary reply = message;
            reply["echoed"] = Value(true);
            return reply;
        });
        std::string error;
        server_ = objcipc::IPCServer::start(device_.str(), &error);
        ASSERT_NE(server_, nullptr) << error;
    }
    void TearDown() override {
        server_.reset();
        springboard::setDeviceRoot("");
    }

    static std::optional<Dictionary> echo(const Dictionary& message, double timeout = 30) {
        return OBJCIPC::sendMessageToSpringBoardWithMessageName("Test.Echo", message, timeout);
    }

    TempDirectory device_;
    std::unique_ptr<objcipc::IPCServer> server_;
};

TEST_F(IPCServerTest, ListensInsideTheDeviceWithOwnerOnlyMode) {
    EXPECT_EQ(server_->socketPath(), device_.str() + "/var/run/objcipc.sock");
    struct stat info;
    ASSERT_EQ(::stat(server_->socketPath().c_str(), &info), 0);
    EXPECT_TRUE(S_ISSOCK(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(IPCServerTest, RoundTripsAMessageThroughItsHandler) {
    const Dictionary message{{"text", Value("caf\xc3\xa9")}, {"n", Value(7)}, {"list", Value(Array{Value("a")})}};
    const auto reply = echo(message);
    ASSERT_TRUE(reply.has_value());
    Dictionary expected = message;
    expected["echoed"] = Value(true);
    EXPECT_EQ(*reply, expected);
    EXPECT_EQ(echo({}), (Dictionary{{"echoed", Value(true)}}));
}

TEST_F(IPCServerTest, AMessageWithoutHandlerGetsNoReply) {
    EXPECT_FALSE(OBJCIPC::sendMessageToSpringBoardWithMessageName("Test.Nobody", {}, 30).has_value());
    // The connection-level error marker is not mistaken for a reply, and the
    // server keeps serving.
    RawConnection raw(server_->socketPath());
    raw.send(objcipc::encodeFrame(objcipc::requestBody("Test.Nobody", {})));
    const auto body = raw.readReply();
    ASSERT_TRUE(body.has_value());
    EXPECT_TRUE(body->count("error"));
    EXPECT_FALSE(objcipc::replyFromBody(*body).has_value());
    EXPECT_TRUE(echo({}).has_value());
}

TEST_F(IPCServerTest, AThrowingHandlerGivesNoReplyAndTheServerGoesOn) {
    OBJCIPC::registerIncomingMessageFromAppHandlerForMessageName(
        "Test.Throws", [](const Dictionary&) -> Dictionary { throw std::runtime_error("boom"); });
    EXPECT_FALSE(OBJCIPC::sendMessageToSpringBoardWithMessageName("Test.Throws", {}, 30).has_value());
    EXPECT_TRUE(echo({}).has_value());
}

TEST_F(IPCServerTest, ALaterRegistrationReplacesTheHandler) {
    OBJCIPC::registerIncomingMessageFromAppHandlerForMessageName("Test.Which",
                                                                 [](const Dictionary&) { return Dictionary{{"v", Value(1)}}; });
    OBJCIPC::registerIncomingMessageFromAppHandlerForMessageName("Test.Which",
                                                                 [](const Dictionary&) { return Dictionary{{"v", Value(2)}}; });
    const auto reply = OBJCIPC::sendMessageToSpringBoardWithMessageName("Test.Which", {}, 30);
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(reply->at("v").integerValue(), 2);
}

// Handlers run on workers that do not preempt the app that woke them.
TEST_F(IPCServerTest, HandlersRunOnWorkersThatDoNotPreemptTheirApp) {
    OBJCIPC::registerIncomingMessageFromAppHandlerForMessageName(
        "Test.Policy", [](const Dictionary&) { return Dictionary{{"policy", Value(::sched_getscheduler(0))}}; });
    const auto reply = OBJCIPC::sendMessageToSpringBoardWithMessageName("Test.Policy", {}, 30);
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(reply->at("policy").integerValue(), SCHED_BATCH);
    EXPECT_NE(::sched_getscheduler(0), SCHED_BATCH);  // the caller's own is untouched
}

TEST_F(IPCServerTest, ManyClientsAtOnceEachGetTheirOwnReplies) {
    constexpr int kThreads = 8, kMessages = 200;
    std::atomic<int> correct{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&correct, t] {
            for (int i = 0; i < kMessages; ++i) {
                const auto reply = echo({{"t", Value(t)}, {"i", Value(i)}});
                if (reply && reply->at("t").integerValue() == t && reply->at("i").integerValue() == i) ++correct;
            }
        });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(correct.load(), kThreads * kMessages);
}

// The first message of a name runs alone while the others wait for its
// reply's size; each of them must be woken when it is known, however close
// it came to parking at that moment (one that parked just after the wake
// waited for the idle timeout).
TEST_F(IPCServerTest, MessagesWaitingForAFirstReplyAreAllWoken) {
    constexpr int kNames = 100, kThreads = 12;
    int answered = 0;
    for (int round = 0; round < kNames; ++round) {
        const std::string name = "Test.First" + std::to_string(round);
        OBJCIPC::registerIncomingMessageFromAppHandlerForMessageName(name, [](const Dictionary& m) { return m; });
        std::atomic<int> correct{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([&correct, &name] {
                if (OBJCIPC::sendMessageToSpringBoardWithMessageName(name, {{"k", Value(1)}}, 3)) ++correct;
            });
        for (auto& thread : threads) thread.join();
        answered += correct.load();
    }
    EXPECT_EQ(answered, kNames * kThreads);
}

TEST_F(IPCServerTest, BadConnectionsAreClosedWhileGoodClientsAreServed) {
    std::atomic<bool> done{false};
    std::atomic<int> good{0}, bad{0};
    std::thread client([&] {
        while (!done) {
            const auto reply = echo({{"k", Value("v")}});
            (reply && reply->at("k").stringValue() == "v" ? good : bad)++;
        }
    });

    const std::string request = objcipc::encodeFrame(objcipc::requestBody("Test.Echo", {}));
    {
        RawConnection oversized(server_->socketPath());
        oversized.send(header(static_cast<std::uint32_t>(objcipc::kMaxFramePayload + 1)));
        EXPECT_TRUE(oversized.closedByServer());
    }
    {
        RawConnection garbage(server_->socketPath());
        garbage.send(header(16) + "this is garbage!");
        EXPECT_TRUE(garbage.closedByServer());
    }
    {
        // Deeply nested arrays: must not take the server down with its stack.
        std::string payload = "bplist00";
        std::string offsets;
        constexpr std::uint32_t kDepth = 100000;
        auto be = [](std::uint64_t v, int bytes) {
            std::string out;
            for (int i = bytes - 1; i >= 0; --i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
            return out;
        };
        for (std::uint32_t i = 0; i < kDepth; ++i) {
            offsets += be(payload.size(), 4);
            payload += i + 1 < kDepth ? "\xA1" + be(i + 1, 3) : std::string("\xA0");
        }
        const std::uint64_t tableAt = payload.size();
        payload += offsets + std::string(6, '\0') + "\x04\x03" + be(kDepth, 8) + be(0, 8) + be(tableAt, 8);
        RawConnection deep(server_->socketPath());
        deep.send(header(static_cast<std::uint32_t>(payload.size())) + payload);
        EXPECT_TRUE(deep.closedByServer());
    }
    {
        RawConnection wrongShape(server_->socketPath());
        wrongShape.send(objcipc::encodeFrame({{"name", Value(42)}}));
        EXPECT_TRUE(wrongShape.closedByServer());
    }
    {
        RawConnection halfClosed(server_->socketPath());
        halfClosed.send(request.substr(0, request.size() / 2));
        halfClosed.shutdownWrite();
        EXPECT_TRUE(halfClosed.closedByServer());
    }
    {
        RawConnection halfHeader(server_->socketPath());
        halfHeader.send(request.substr(0, 2));
        halfHeader.shutdownWrite();
        EXPECT_TRUE(halfHeader.closedByServer());
    }
    {
        // A client may send several requests on one connection.
        RawConnection twice(server_->socketPath());
        twice.send(request + request);
        EXPECT_TRUE(twice.readReply().has_value());
        EXPECT_TRUE(twice.readReply().has_value());
    }
    // Keep the good client going until it has been answered a few times.
    while (good < 5 && bad == 0) std::this_thread::yield();
    done = true;
    client.join();
    EXPECT_EQ(bad.load(), 0);
    EXPECT_GE(good.load(), 5);
}

TEST_F(IPCServerTest, AnIdleConnectionIsClosedAfterTheIdleTimeout) {
    server_.reset();
    objcipc::IPCServer::Options options;
    options.idleTimeout = std::chrono::milliseconds(100);
    server_ = objcipc::IPCServer::start(device_.str(), options, nullptr);
    ASSERT_NE(server_, nullptr);
    RawConnection silent(server_->socketPath());
    silent.send(header(100));  // announces a payload that never comes
    EXPECT_TRUE(silent.closedByServer());
    EXPECT_TRUE(echo({}).has_value());
}

TEST_F(IPCServerTest, ConnectionsBeyondTheLimitWaitTheirTurn) {
    server_.reset();
    objcipc::IPCServer::Options options;
    options.maxWorkers = 1;
    server_ = objcipc::IPCServer::start(device_.str(), options, nullptr);
    ASSERT_NE(server_, nullptr);
    std::atomic<int> answered{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&answered] {
            for (int i = 0; i < 20; ++i)
                if (echo({})) ++answered;
        });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(answered.load(), 80);
}

// The request may come a moment after the connect (the app preempted in
// between) or long after: either way it is answered, first by the thread
// that accepted, then by the event loop.
TEST_F(IPCServerTest, ARequestSentAfterTheConnectIsAnsweredWhateverTheDelay) {
    const std::string request = objcipc::encodeFrame(objcipc::requestBody("Test.Echo", {{"n", Value(1)}}, true));
    for (const auto delay : {std::chrono::microseconds(0), std::chrono::microseconds(200),
                             std::chrono::microseconds(5000), std::chrono::microseconds(50000)}) {
        RawConnection connection(server_->socketPath());
        ASSERT_TRUE(connection.connected());
        std::this_thread::sleep_for(delay);
        connection.send(request);
        const auto reply = connection.readReply();
        ASSERT_TRUE(reply.has_value()) << delay.count() << " us";
        EXPECT_TRUE(reply->count("reply")) << delay.count() << " us";
    }
}

// The program's idle hook (where it gives freed memory back) runs once the
// work is over: not before any, not while a connection is open, and not
// again while nothing happens.
TEST_F(IPCServerTest, TheIdleHookRunsOnceTheWorkIsOverAndOnlyThen) {
    using namespace std::chrono_literals;
    server_.reset();
    std::atomic<int> runs{0};
    objcipc::IPCServer::Options options;
    options.idleTimeout = 200ms;  // a sweep interval of 50 ms
    options.whenIdle = [&runs] { ++runs; };
    server_ = objcipc::IPCServer::start(device_.str(), options, nullptr);
    ASSERT_NE(server_, nullptr);
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(runs.load(), 0) << "nothing was served";
    {
        ASSERT_TRUE(echo({}).has_value());
        RawConnection silent(server_->socketPath());
        ASSERT_TRUE(silent.connected());
        std::this_thread::sleep_for(150ms);
        EXPECT_EQ(runs.load(), 0) << "a connection is open";
    }
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (runs.load() == 0 && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(10ms);
    EXPECT_GE(runs.load(), 1);
    std::this_thread::sleep_for(200ms);  // a thread retiring may ask for one more
    const int settled = runs.load();
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(runs.load(), settled) << "nothing happened since";
}

TEST_F(IPCServerTest, StopRemovesTheSocketAndClientsGetNothing) {
    const std::string path = server_->socketPath();
    EXPECT_TRUE(echo({}).has_value());  // an acceptor and a poller are waiting
    const auto stopping = std::chrono::steady_clock::now();
    server_->stop();
    // Idle threads wake for it, not at their next sweep, half a second off.
    EXPECT_LT(std::chrono::steady_clock::now() - stopping, std::chrono::milliseconds(250));
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_FALSE(echo({}, 1).has_value());
    server_->stop();  // idempotent

    std::string error;
    server_ = objcipc::IPCServer::start(device_.str(), &error);
    ASSERT_NE(server_, nullptr) << error;
    EXPECT_TRUE(echo({}).has_value());
}

TEST_F(IPCServerTest, StopWhileAClientIsConnectedReturns) {
    RawConnection idle(server_->socketPath());
    ASSERT_TRUE(idle.connected());
    idle.send(header(50));
    server_->stop();
    EXPECT_TRUE(idle.closedByServer());
}

TEST_F(IPCServerTest, ASecondServerOnTheSameDeviceIsRefused) {
    std::string error;
    EXPECT_EQ(objcipc::IPCServer::start(device_.str(), &error), nullptr);
    EXPECT_NE(error.find("another server"), std::string::npos) << error;
    EXPECT_TRUE(echo({}).has_value());
}

TEST_F(IPCServerTest, AStaleSocketIsReplacedButOtherFilesAreLeftAlone) {
    server_.reset();
    const std::string path = device_.str() + "/var/run/objcipc.sock";
    {
        // A socket file nobody listens on, as a crashed server leaves behind.
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
        ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ::close(fd);
    }
    std::string error;
    server_ = objcipc::IPCServer::start(device_.str(), &error);
    ASSERT_NE(server_, nullptr) << error;
    EXPECT_TRUE(echo({}).has_value());
    server_.reset();

    writeFile(path, "precious");
    EXPECT_EQ(objcipc::IPCServer::start(device_.str(), &error), nullptr);
    EXPECT_NE(error.find("not a socket"), std::string::npos) << error;
    EXPECT_EQ(readFile(path), "precious");
}

TEST_F(IPCServerTest, WorksInADeviceWhosePathIsTooLongForASocketAddress) {
    server_.reset();
    const auto deep = device_.make(std::string(60, 'a') + "/" + std::string(60, 'b'));
    springboard::setDeviceRoot(deep.string());
    std::string error;
    server_ = objcipc::IPCServer::start(deep.string(), &error);
    ASSERT_NE(server_, nullptr) << error;
    EXPECT_TRUE(echo({}).has_value());
    server_.reset();
    EXPECT_FALSE(std::filesystem::exists(deep / "var/run/objcipc.sock"));
}

TEST_F(IPCServerTest, ASlowHandlerTimesOutTheClient) {
    // Shared, as the handler may still be polling after the client gave up.
    auto release = std::make_shared<std::atomic<bool>>(false);
    OBJCIPC::registerIncomingMessageFromAppHandlerForMessageName("Test.Slow", [release](const Dictionary&) {
        while (!*release) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return Dictionary{};
    });
    EXPECT_FALSE(OBJCIPC::sendMessageToSpringBoardWithMessageName("Test.Slow", {}, 0.05).has_value());
    *release = true;
    EXPECT_TRUE(echo({}).has_value());
    server_.reset();  // joins the handler's thread
}

TEST_F(IPCServerTest, RepliesUpToTheirLimitArriveWholeAndLargerOnesAreRefusedByName) {
    OBJCIPC::registerIncomingMessageFromAppHandlerForMessageName("Test.Bytes", [](const Dictionary& message) {
        return Dictionary{{"bytes", Value(Data{std::vector<std::uint8_t>(message.at("n").integerValue(), 0x5A)})}};
    });
    const struct {
        std::size_t bytes;
        bool whole;
    } cases[] = {
        {1000, true},
        {objcipc::kMaxFramePayload + 1, true},    // over the request limit
        {objcipc::kMaxReplyPayload - 256, true},  // just under the reply limit, framing included
        {objcipc::kMaxReplyPayload + 1, false},
    };
    for (const auto& c : cases) {
        const auto result = objcipc::sendMessage(device_.str(), "Test.Bytes",
                                                 {{"n", Value(static_cast<long long>(c.bytes))}}, 60);
        if (c.whole) {
            ASSERT_EQ(result.status, objcipc::SendResult::Status::Replied) << c.bytes << " " << result.detail;
            EXPECT_EQ(result.reply->at("bytes").asData()->bytes.size(), c.bytes);
        } else {
            EXPECT_EQ(result.status, objcipc::SendResult::Status::ErrorReply) << c.bytes;
            EXPECT_EQ(result.detail, "reply too large");
        }
    }
    EXPECT_TRUE(echo({}).has_value());
}

TEST_F(IPCServerTest, AConnectionEndsAfterItsRequestLimitOrLifetime) {
    const struct {
        std::size_t maxRequests;
        std::chrono::milliseconds lifetime, pause;
        int answered;
    } cases[] = {
        {3, std::chrono::milliseconds(60000), std::chrono::milliseconds(0), 3},
        // Replies at about 0 and 0.7 s; the third would come after the 1 s lifetime.
        {1000, std::chrono::milliseconds(1000), std::chrono::milliseconds(700), 2},
    };
    const std::string request = objcipc::encodeFrame(objcipc::requestBody("Test.Echo", {}));
    for (const auto& c : cases) {
        server_.reset();
        objcipc::IPCServer::Options options;
        options.maxRequestsPerConnection = c.maxRequests;
        options.maxConnectionLifetime = c.lifetime;
        server_ = objcipc::IPCServer::start(device_.str(), options, nullptr);
        ASSERT_NE(server_, nullptr);
        RawConnection raw(server_->socketPath());
        int answered = 0;
        for (int i = 0; i < 5; ++i) {
            if (!raw.trySend(request) || !raw.readReply()) break;
            ++answered;
            std::this_thread::sleep_for(c.pause);
        }
        EXPECT_EQ(answered, c.answered) << c.maxRequests;
        EXPECT_TRUE(raw.closedByServer());
    }
}

TEST_F(IPCServerTest, AHandlerOutOfMemoryDropsOnlyItsConnection) {
    OBJCIPC::registerIncomingMessageFromAppHandlerForMessageName(
        "Test.Greedy", [](const Dictionary&) -> Dictionary { throw std::bad_alloc(); });
    RawConnection greedy(server_->socketPath());
    greedy.send(objcipc::encodeFrame(objcipc::requestBody("Test.Greedy", {})));
    EXPECT_TRUE(greedy.closedByServer());
    EXPECT_TRUE(echo({}).has_value());
}

TEST_F(IPCServerTest, TheWorkerPoolStaysWithinItsLimit) {
    server_.reset();
    objcipc::IPCServer::Options options;
    options.maxWorkers = 3;
    server_ = objcipc::IPCServer::start(device_.str(), options, nullptr);
    ASSERT_NE(server_, nullptr);
    OBJCIPC::registerIncomingMessageFromAppHandlerForMessageName("Test.Nap", [](const Dictionary&) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return Dictionary{};
    });
    std::vector<std::thread> threads;
    std::atomic<int> answered{0};
    for (int t = 0; t < 12; ++t)
        threads.emplace_back([&answered] {
            for (int i = 0; i < 3; ++i)
                if (OBJCIPC::sendMessageToSpringBoardWithMessageName("Test.Nap", {}, 30)) ++answered;
        });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(answered.load(), 36);
    EXPECT_LE(server_->workerCount(), 3u);
    EXPECT_GT(server_->workerCount(), 1u);
}

// Workers a burst started retire once idle, and so do spare acceptors
// while one app goes on sending: blocked in accept, acceptors take
// connections in turn, so spares would otherwise share its messages and
// never idle long enough.
TEST_F(IPCServerTest, WorkersLeftByABurstRetireIdleOrWhileOneAppSends) {
    server_.reset();
    objcipc::IPCServer::Options options;
    options.idleTimeout = std::chrono::milliseconds(100);  // a sweep every 25 ms
    server_ = objcipc::IPCServer::start(device_.str(), options, nullptr);
    ASSERT_NE(server_, nullptr);
    OBJCIPC::registerIncomingMessageFromAppHandlerForMessageName("Test.Nap", [](const Dictionary&) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return Dictionary{};
    });
    for (const bool oneAppSends : {false, true}) {
        std::vector<std::thread> threads;
        for (int t = 0; t < 6; ++t)
            threads.emplace_back([] { OBJCIPC::sendMessageToSpringBoardWithMessageName("Test.Nap", {}, 30); });
        for (auto& thread : threads) thread.join();
        EXPECT_GT(server_->workerCount(), 2u) << oneAppSends;
        // Down to one thread waiting for connections and one for events.
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        while (server_->workerCount() > 2 && std::chrono::steady_clock::now() < until) {
            if (oneAppSends)
                ASSERT_TRUE(echo({}).has_value());
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        EXPECT_EQ(server_->workerCount(), 2u) << oneAppSends;
    }
    EXPECT_TRUE(echo({}).has_value());
}

TEST_F(IPCServerTest, AServerThatCannotStartThreadsGoesOnWithThoseItHas) {
    server_.reset();
    std::atomic<int> starts{0};
    auto startingOnlyTheFirst = [&](std::function<void()> body) {
        if (++starts > 1) throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
        return std::thread(std::move(body));
    };
    std::string error;
    server_ = objcipc::startServer(device_.str(), {}, startingOnlyTheFirst, &error);
    ASSERT_NE(server_, nullptr) << error;
    // The one thread accepts too, and an app that connects and says
    // nothing does not hold it.
    RawConnection silent(server_->socketPath());
    ASSERT_TRUE(silent.connected());
    std::vector<std::thread> threads;
    std::atomic<int> answered{0};
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&answered] {
            for (int i = 0; i < 5; ++i)
                if (echo({}, 5)) ++answered;
        });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(answered.load(), 40);
    EXPECT_GT(starts.load(), 1);
    EXPECT_EQ(server_->workerCount(), 1u);

    // Without even the first thread there is no server, and it says why.
    server_.reset();
    auto startingNone = [](std::function<void()>) -> std::thread {
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    };
    EXPECT_EQ(objcipc::startServer(device_.str(), {}, startingNone, &error), nullptr);
    EXPECT_NE(error.find("cannot start a worker thread"), std::string::npos) << error;
    EXPECT_FALSE(std::filesystem::exists(device_.path() / "var/run/objcipc.sock"));
}

TEST_F(IPCServerTest, LargeRepliesTakeTurnsAndOneNotTakenInTimeIsDropped) {
    server_.reset();
    objcipc::IPCServer::Options options;
    // Long enough for a 10 MiB reply to go out under the sanitizers.
    options.idleTimeout = std::chrono::milliseconds(1000);
    server_ = objcipc::IPCServer::start(device_.str(), options, nullptr);
    ASSERT_NE(server_, nullptr);
    // Each reply is larger than the system lets a socket buffer hold, and
    // than the share of the reply budget two may take at once.
    std::atomic<int> built{0};
    OBJCIPC::registerIncomingMessageFromAppHandlerForMessageName("Test.Big", [&built](const Dictionary&) {
        ++built;
        return Dictionary{{"blob", Value(Data{std::vector<std::uint8_t>(10 << 20, 1)})}};
    });
    const std::string request = objcipc::encodeFrame(objcipc::requestBody("Test.Big", {}));
    std::vector<std::unique_ptr<RawConnection>> stalled;
    for (int i = 0; i < 6; ++i) {
        stalled.push_back(std::make_unique<RawConnection>(server_->socketPath()));
        stalled.back()->send(request);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(built.load(), 1);  // the others wait for its bytes to go
    // Not taken by their deadline, the reply goes with its connection and
    // the waiting requests with theirs.
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    for (auto& connection : stalled) EXPECT_LT(connection->readToEnd(), std::size_t{10 << 20});
    stalled.clear();
    const auto result = objcipc::sendMessage(device_.str(), "Test.Big", {}, 30);
    ASSERT_TRUE(result.reply.has_value()) << objcipc::describeFailure(result, device_.str(), "Test.Big");
    EXPECT_EQ(result.reply->at("blob").asData()->bytes.size(), std::size_t{10 << 20});
    EXPECT_TRUE(echo({}).has_value());
}

// What an app learns when no reply comes, and the one line that says so.
TEST_F(IPCServerTest, EachFailureHasItsOwnReason) {
    using Status = objcipc::SendResult::Status;
    OBJCIPC::registerIncomingMessageFromAppHandlerForMessageName(
        "Test.Throws", [](const Dictionary&) -> Dictionary { throw std::runtime_error("boom"); });
    TempDirectory empty;
    const Dictionary oversized{{"d", Value(Data{std::vector<std::uint8_t>(objcipc::kMaxFramePayload + 1)})}};
    const struct {
        const char* what;
        std::string device, name;
        Dictionary message;
        Status status;
        const char* says;
    } cases[] = {
        {"answered", device_.str(), "Test.Echo", {}, Status::Replied, ""},
        {"no device set", "", "Test.Echo", {}, Status::NoDevice, "no device directory"},
        {"nobody serving", empty.str(), "Test.Echo", {}, Status::NoServer, "no SpringBoard is serving"},
        {"no handler", device_.str(), "Test.Nobody", {}, Status::NoHandler, "no handler for Test.Nobody"},
        {"handler failed", device_.str(), "Test.Throws", {}, Status::ErrorReply, "handler for Test.Throws failed: boom"},
        {"request refused", device_.str(), "Test.Echo", oversized, Status::Dropped, "closed the connection"},
    };
    for (const auto& c : cases) {
        const auto result = objcipc::sendMessage(c.device, c.name, c.message, 30);
        EXPECT_EQ(result.status, c.status) << c.what;
        const std::string line = objcipc::describeFailure(result, c.device, c.name);
        EXPECT_NE(line.find(c.says), std::string::npos) << c.what << ": " << line;
        EXPECT_EQ(line.find('\n'), std::string::npos) << c.what;
    }
}

TEST(IPCClientTest, APermissionDeniedSocketIsNamedAsSuch) {
    if (::geteuid() == 0) GTEST_SKIP() << "root may use any socket";
    TempDirectory device;
    auto server = objcipc::IPCServer::start(device.str(), nullptr);
    ASSERT_NE(server, nullptr);
    ASSERT_EQ(::chmod(server->socketPath().c_str(), 0), 0);
    const auto result = objcipc::sendMessage(device.str(), "Test.Echo", {}, 5);
    EXPECT_EQ(result.status, objcipc::SendResult::Status::PermissionDenied);
    EXPECT_NE(objcipc::describeFailure(result, device.str(), "Test.Echo").find("permission denied"), std::string::npos);
}

TEST(IPCClientTest, WithoutADeviceOrServerThereIsNoReply) {
    springboard::setDeviceRoot("");
    EXPECT_FALSE(OBJCIPC::sendMessageToSpringBoardWithMessageName("Test.Echo", {}, 1).has_value());
    TempDirectory empty;
    springboard::setDeviceRoot(empty.str());
    EXPECT_FALSE(OBJCIPC::sendMessageToSpringBoardWithMessageName("Test.Echo", {}, 1).has_value());
    EXPECT_FALSE(OBJCIPC::sendMessageToSpringBoardWithMessageName("Test.Echo", {}, 0).has_value());
    springboard::setDeviceRoot("");
}

}  // namespace
