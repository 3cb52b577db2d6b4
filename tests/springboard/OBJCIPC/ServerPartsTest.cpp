// The server's parts alone: a connection's steps over a socketpair with a
// clock of the test's own, the table's sweep and eviction, the budgets and
// the worker pool's growth when threads cannot be started, and how the
// poller reports the listener.

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <system_error>
#include <vector>

#include "Connection.h"
#include "ConnectionTable.h"
#include "Frame.h"
#include "OBJCIPC.h"
#include "Poller.h"
#include "ReplyEncoder.h"
#include "RequestBudget.h"
#include "SocketIO.h"
#include "TempDirectory.h"
#include "WorkerPool.h"

namespace {

using namespace objcipc;
using Step = Connection::Step;
using std::chrono::milliseconds;

const Connection::Clock::time_point kT0{};

std::string header(std::uint32_t length) {
    return {static_cast<char>(length >> 24), static_cast<char>(length >> 16), static_cast<char>(length >> 8),
            static_cast<char>(length)};
}

// A connection over one end of a socketpair; the test holds the other end.
struct Pair {
    explicit Pair(Connection::Limits limits = {}) {
        int fds[2];
        EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds), 0);
        peer = fds[1];
        connection = std::make_unique<Connection>(springboard::FileDescriptor(fds[0]), 16, kT0, limits);
    }
    ~Pair() {
        if (peer >= 0) ::close(peer);
    }
    void send(const std::string& bytes) const {
        ASSERT_EQ(::send(peer, bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size()));
    }
    // Everything the connection has sent so far.
    std::string drain() const {
        std::string out;
        char buffer[65536];
        for (ssize_t n; (n = ::recv(peer, buffer, sizeof buffer, MSG_DONTWAIT)) > 0;) out.append(buffer, static_cast<std::size_t>(n));
        return out;
    }
    int peer = -1;
    std::unique_ptr<Connection> connection;
};

class ConnectionTest : public ::testing::Test {
protected:
    void SetUp() override {
        OBJCIPC::registerIncomingMessageFromAppHandlerForMessageName("Test.Parts", [](const Dictionary& message) {
            const auto size = message.find("size");
            const std::int64_t bytes = size == message.end() ? 0 : size->second.integerValue();
            return Dictionary{{"blob", Value(Data{std::vector<std::uint8_t>(static_cast<std::size_t>(bytes), 7)})}};
        });
    }
    void TearDown() override { OBJCIPC::registerIncomingMessageFromAppHandlerForMessageName("Test.Parts", nullptr); }
};

TEST_F(ConnectionTest, ReadsARequestWhateverPiecesItComesIn) {
    const std::string request = encodeFrame(requestBody("Test.Parts", {}));
    const struct {
        const char* what;
        std::vector<std::string> pieces;
        Step last;
    } cases[] = {
        {"whole", {request}, Step::Whole},
        {"byte by byte header", {request.substr(0, 1), request.substr(1, 2), request.substr(3)}, Step::Whole},
        {"half", {request.substr(0, request.size() / 2)}, Step::WaitForInput},
        {"oversized", {header(static_cast<std::uint32_t>(kMaxFramePayload + 1))}, Step::Close},
        {"zero length", {header(0)}, Step::Close},
        {"large announced", {header(Connection::kSmallRequest + 1)}, Step::NeedBudget},
    };
    for (const auto& c : cases) {
        Pair pair;
        Step step = Step::WaitForInput;
        for (const auto& piece : c.pieces) {
            pair.send(piece);
            step = pair.connection->read();
        }
        EXPECT_EQ(step, c.last) << c.what;
    }
}

TEST_F(ConnectionTest, ALargeRequestIsReadOnlyWithItsBudgetAndAPeerGoneMidFrameCloses) {
    Pair pair;
    pair.send(header(Connection::kSmallRequest + 1) + "bplist00");
    EXPECT_EQ(pair.connection->read(), Step::NeedBudget);
    EXPECT_EQ(pair.connection->announced(), Connection::kSmallRequest + 1);
    pair.connection->held().request = pair.connection->announced();
    EXPECT_EQ(pair.connection->read(), Step::WaitForInput);
    ::close(pair.peer);
    pair.peer = -1;
    EXPECT_EQ(pair.connection->read(), Step::Close);
    EXPECT_EQ(pair.connection->release().request, Connection::kSmallRequest + 1);
}

TEST_F(ConnectionTest, AnswersThenSendsWhatTheSocketTakesAndRestartsItsDeadline) {
    Connection::Limits limits;
    limits.idleTimeout = milliseconds(100);
    Pair pair(limits);
    EXPECT_EQ(pair.connection->deadline(), kT0 + milliseconds(100));
    // Larger than any socket buffer the system gives: the peer must read.
    constexpr std::int64_t kBlob = 8 << 20;
    pair.send(encodeFrame(requestBody("Test.Parts", {{"size", Value(kBlob)}})) + "x");
    ASSERT_EQ(pair.connection->read(), Step::Whole);
    ASSERT_TRUE(pair.connection->decode());
    const std::size_t size = pair.connection->answer(kT0 + milliseconds(50));
    EXPECT_GT(size, static_cast<std::size_t>(kBlob));
    EXPECT_EQ(pair.connection->deadline(), kT0 + milliseconds(150));
    std::string received;
    Step step;
    while ((step = pair.connection->write()) == Step::WaitForOutput) received += pair.drain();
    ASSERT_EQ(step, Step::Whole);
    received += pair.drain();
    ASSERT_EQ(received.size(), size);
    const auto reply = decodeFramePayload(std::string_view(received).substr(kFrameHeaderSize));
    ASSERT_TRUE(reply && replyFromBody(*reply));
    EXPECT_EQ(replyFromBody(*reply)->at("blob").asData()->bytes.size(), static_cast<std::size_t>(kBlob));
    // The "x" of a next request is kept for it.
    EXPECT_EQ(pair.connection->afterReply(kT0 + milliseconds(60)), Step::WaitForInput);
    EXPECT_EQ(pair.connection->deadline(), kT0 + milliseconds(160));
}

TEST_F(ConnectionTest, AfterAReplyItClosesOnlyWhenItsRequestOrLimitsSaySo) {
    const std::string request = encodeFrame(requestBody("Test.Parts", {}));
    const std::string last = encodeFrame(requestBody("Test.Parts", {}, true));
    const struct {
        const char* what;
        std::string sent;
        std::size_t maxRequests;
        milliseconds at;
        Step after;
    } cases[] = {
        {"keep-alive", request, 10, milliseconds(0), Step::WaitForInput},
        {"marked last", last, 10, milliseconds(0), Step::Close},
        {"next request buffered", request + request, 10, milliseconds(0), Step::Whole},
        {"request limit", request + request, 1, milliseconds(0), Step::Close},
        {"lifetime over", request, 10, milliseconds(60000), Step::Close},
        {"garbage after", request + header(0), 10, milliseconds(0), Step::Close},
    };
    for (const auto& c : cases) {
        Connection::Limits limits;
        limits.maxRequests = c.maxRequests;
        Pair pair(limits);
        pair.send(c.sent);
        ASSERT_EQ(pair.connection->read(), Step::Whole) << c.what;
        ASSERT_TRUE(pair.connection->decode()) << c.what;
        pair.connection->answer(kT0);
        ASSERT_EQ(pair.connection->write(), Step::Whole) << c.what;
        EXPECT_EQ(pair.connection->afterReply(kT0 + c.at), c.after) << c.what;
    }
}

// The one-pass reply reads back as the property-list writer's does, whatever
// the handler put in it.
TEST(ReplyEncoderTest, WritesWhatTheGeneralEncoderWrites) {
    Array titles;
    for (int i = 0; i < 70000; ++i) titles.emplace_back(i % 3 ? "Groceries " + std::to_string(i) : "caf\xc3\xa9 \xf0\x9f\x9a\x80");
    const struct {
        const char* what;
        std::optional<Dictionary> reply;
        std::string error;
    } cases[] = {
        {"empty", Dictionary{}, ""},
        {"every kind",
         Dictionary{{"s", Value("x")}, {"long", Value(std::string(300, 'a'))}, {"i", Value(-5)}, {"big", Value(1ll << 40)},
                    {"wide", Value::unsignedInteger(~0ull)}, {"r", Value(2.5)}, {"b", Value(false)},
                    {"d", Value(Data{{1, 2, 3}})}, {"t", Value(Date{1.5})}, {"nil", Value()},
                    {"a", Value(Array{Value(), Value(Array{}), Value(Dictionary{{"k", Value(1)}})})}},
         ""},
        {"no UTF-8", Dictionary{{"bad", Value(std::string("a\xff\xc3"))}}, ""},
        {"70,000 titles, two-byte references", Dictionary{{"lists", Value(titles)}}, ""},
        {"error", std::nullopt, "no handler for X"},
    };
    for (const auto& c : cases) {
        const EncodedFrame frame = encodeReplyFrame(c.reply ? &*c.reply : nullptr, c.error);
        const std::string general = encodeFrame(replyBody(c.reply, c.error));
        ASSERT_EQ(frame.view().substr(0, 4), header(static_cast<std::uint32_t>(frame.size - 4))) << c.what;
        const auto ours = decodeFramePayload(frame.view().substr(kFrameHeaderSize));
        ASSERT_TRUE(ours.has_value()) << c.what;
        EXPECT_EQ(*ours, decodeFramePayload(std::string_view(general).substr(kFrameHeaderSize))) << c.what;
        EXPECT_EQ(frame.size, general.size()) << c.what;
    }
}

TEST(ConnectionTableTest, SweepAndEvictionCloseOnlyConnectionsNobodyHoldsAndGiveTheirBudgetBack) {
    ConnectionTable table(16);
    std::vector<int> peers;
    const milliseconds timeouts[] = {milliseconds(300), milliseconds(100), milliseconds(200)};
    for (const auto timeout : timeouts) {
        int fds[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
        peers.push_back(fds[1]);
        Connection::Limits limits;
        limits.idleTimeout = timeout;
        Connection& added = table.add(
            std::make_unique<Connection>(springboard::FileDescriptor(fds[0]), table.nextId(), kT0, limits));
        added.held().reply = 1000;
    }
    auto peerClosed = [&](std::size_t i) {
        char byte;
        return ::recv(peers[i], &byte, 1, MSG_DONTWAIT) == 0;
    };
    table.find(17)->busy = true;  // the earliest deadline, but held by a worker
    ConnectionTable::Closed closed;
    table.sweep(kT0 + milliseconds(250), closed);
    EXPECT_EQ(table.size(), 2u);
    EXPECT_EQ(table.find(18), nullptr);
    EXPECT_TRUE(peerClosed(2));
    EXPECT_FALSE(peerClosed(1));
    EXPECT_EQ(closed.held.reply, 1000u);

    ASSERT_TRUE(table.evictOne(closed));  // only 16 is free to go
    EXPECT_EQ(table.find(16), nullptr);
    EXPECT_TRUE(peerClosed(0));
    EXPECT_FALSE(table.evictOne(closed));
    EXPECT_EQ(closed.held.reply, 2000u);
    for (int fd : peers) ::close(fd);
}

TEST(RequestBudgetTest, LargeOnesTakeTurnsAndAnyOneAlonePasses) {
    RequestBudget budget(100);
    EXPECT_TRUE(budget.tryTake(150));  // alone, though over the limit
    EXPECT_FALSE(budget.tryTake(1));
    budget.give(150);
    EXPECT_TRUE(budget.tryTake(60));
    EXPECT_TRUE(budget.tryTake(40));
    EXPECT_FALSE(budget.tryTake(1));
    budget.take(10);  // a reply already built counts anyway
    EXPECT_EQ(budget.used(), 110u);
    budget.give(500);
    EXPECT_EQ(budget.used(), 0u);
}

TEST(RequestBudgetTest, AReplySizeIsLearnedOnceWhileOthersWait) {
    using State = RequestBudget::Expectation::State;
    RequestBudget budget(100);
    EXPECT_EQ(budget.expect("big").state, State::New);
    EXPECT_EQ(budget.expect("big").state, State::Learning);
    budget.learn("big", 5000, 64);
    EXPECT_EQ(budget.expect("big").state, State::Known);
    EXPECT_EQ(budget.expect("big").bytes, 5000u);
    EXPECT_EQ(budget.expect("small").state, State::New);
    budget.learn("small", 10, 64);
    EXPECT_EQ(budget.expect("small").bytes, 0u);
    EXPECT_EQ(budget.expect("failed").state, State::New);
    budget.forget("failed");
    EXPECT_EQ(budget.expect("failed").state, State::New);
    budget.forget("big");  // known sizes stay
    EXPECT_EQ(budget.expect("big").state, State::Known);
}

TEST(WorkerPoolTest, GrowsToItsLimitAndGoesOnWhenAThreadCannotStart) {
    std::atomic<int> starts{0}, ran{0};
    WorkerPool pool(3, [&](std::function<void()> body) {
        if (++starts == 2) throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
        return std::thread(std::move(body));
    });
    const auto body = [&] { ++ran; };
    EXPECT_TRUE(pool.grow(body));
    EXPECT_FALSE(pool.grow(body));  // the injected failure
    EXPECT_EQ(pool.size(), 1u);
    EXPECT_TRUE(pool.grow(body));
    EXPECT_TRUE(pool.grow(body));
    EXPECT_FALSE(pool.grow(body));  // the limit
    EXPECT_EQ(pool.size(), 3u);
    pool.joinAll();
    EXPECT_EQ(ran.load(), 3);
    EXPECT_FALSE(pool.grow(body));  // stopped
}

TEST(WorkerPoolTest, IdleWorkersRetireDownToTheLastAndAreJoined) {
    WorkerPool pool(4);
    std::atomic<int> retired{0}, kept{0};
    std::atomic<bool> go{false};
    const auto body = [&] {
        while (!go) std::this_thread::yield();
        (pool.retire() ? retired : kept)++;
    };
    for (int i = 0; i < 4; ++i) ASSERT_TRUE(pool.grow(body));
    go = true;
    while (retired + kept < 4) std::this_thread::yield();
    EXPECT_EQ(retired.load(), 3);
    EXPECT_EQ(pool.size(), 1u);
    EXPECT_TRUE(pool.grow([] {}));  // joins the retired ones first
    EXPECT_EQ(pool.size(), 2u);
    pool.joinAll();
    EXPECT_EQ(pool.size(), 0u);
}

// The listener is reported only once watched, level-triggered while a
// connection waits, and never while paused.
TEST(PollerTest, TheListenerIsReportedOnlyWhileWatchedAndAConnectionWaits) {
    TempDirectory directory;
    const std::string path = (directory.path() / "listener.sock").string();
    springboard::FileDescriptor listener = bindUnixSocket(path);
    ASSERT_TRUE(listener);
    ASSERT_EQ(::listen(listener.get(), 8), 0);
    Poller poller(listener.get());
    ASSERT_TRUE(poller.ok());
    const auto deadline = Connection::Clock::now() + std::chrono::seconds(5);
    std::vector<springboard::FileDescriptor> clients;
    for (int i = 0; i < 2; ++i) clients.push_back(connectUnixSocket(path, deadline));
    const auto next = [&] { return poller.wait(milliseconds(0)).source; };
    const auto acceptOne = [&] { return springboard::FileDescriptor(::accept4(listener.get(), nullptr, nullptr, 0)); };

    EXPECT_EQ(next(), Poller::Source::None);  // acceptors take connections, not the pollers
    poller.pauseListener();
    poller.resumeListener();
    EXPECT_EQ(next(), Poller::Source::None);
    ASSERT_TRUE(poller.watchListener());
    EXPECT_EQ(next(), Poller::Source::Listener);
    poller.pauseListener();
    EXPECT_EQ(next(), Poller::Source::None);
    poller.resumeListener();
    auto first = acceptOne();
    EXPECT_EQ(next(), Poller::Source::Listener);  // one still waits
    auto second = acceptOne();
    EXPECT_TRUE(first && second);
    EXPECT_EQ(next(), Poller::Source::None);
}

}  // namespace
