#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>

#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "Frame.h"
#include "PlistCodec.h"
#include "SocketIO.h"

namespace {

using namespace objcipc;

std::string header(std::uint32_t length) {
    return {static_cast<char>(length >> 24), static_cast<char>(length >> 16), static_cast<char>(length >> 8),
            static_cast<char>(length)};
}

TEST(FrameTest, RoundTripsEveryValueKind) {
    const Dictionary body{
        {"string", Value("caf\xc3\xa9")}, {"int", Value(-42)},        {"real", Value(2.5)},
        {"bool", Value(true)},            {"data", Value(Data{{0, 1, 255}})}, {"date", Value(Date{12345.5})},
        {"array", Value(Array{Value("a"), Value(Array{}), Value(Dictionary{})})},
        {"dict", Value(Dictionary{{"inner", Value("x")}})},
    };
    const std::string frame = encodeFrame(body);
    ASSERT_GT(frame.size(), kFrameHeaderSize);
    EXPECT_EQ(frame.substr(0, 4), header(static_cast<std::uint32_t>(frame.size() - 4)));
    EXPECT_EQ(frame.substr(4, 8), "bplist00");
    const auto decoded = decodeFrame(frame);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(*decoded, body);
}

TEST(FrameTest, RejectsMalformedFrames) {
    const std::string good = encodeFrame({{"name", Value("x")}});
    const std::string payload = good.substr(4);
    const std::string xml = springboard::xmlPropertyList(Value(Dictionary{{"name", Value("x")}}));
    const std::string arrayRoot = springboard::binaryPropertyList(Value(Array{Value(1)}));
    const std::pair<const char*, std::string> cases[] = {
        {"empty", ""},
        {"header only", header(10)},
        {"short payload", good.substr(0, good.size() - 1)},
        {"trailing bytes", good + "x"},
        {"zero length", header(0)},
        {"oversized length", header(static_cast<std::uint32_t>(kMaxFramePayload + 1)) + payload},
        {"huge length", header(0xFFFFFFFFu) + payload},
        {"garbage payload", header(8) + "garbage!"},
        {"truncated plist", header(10) + payload.substr(0, 10)},
        {"xml plist", header(static_cast<std::uint32_t>(xml.size())) + xml},
        {"array root", header(static_cast<std::uint32_t>(arrayRoot.size())) + arrayRoot},
    };
    for (const auto& [what, bytes] : cases) EXPECT_FALSE(decodeFrame(bytes).has_value()) << what;
}

// A hand-made binary plist whose object i is an array of the objects
// children[i] names (object 0 is the top). Only arrays of fewer than 15
// elements; enough to build deep, shared and cyclic graphs.
std::string arrayGraph(const std::vector<std::vector<std::uint32_t>>& children) {
    auto be = [](std::uint64_t v, int bytes) {
        std::string out;
        for (int i = bytes - 1; i >= 0; --i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
        return out;
    };
    std::string objects, offsets;
    for (const auto& refs : children) {
        offsets += be(8 + objects.size(), 4);
        objects += static_cast<char>(0xA0 | refs.size());
        for (const auto ref : refs) objects += be(ref, 3);
    }
    const std::string trailer = std::string(6, '\0') + '\x04' + '\x03' + be(children.size(), 8) + be(0, 8) +
                                be(8 + objects.size(), 8);
    return "bplist00" + objects + offsets + trailer;
}

std::vector<std::vector<std::uint32_t>> chain(std::uint32_t depth, std::uint32_t refsPerLevel) {
    std::vector<std::vector<std::uint32_t>> children(depth);
    for (std::uint32_t i = 0; i + 1 < depth; ++i) children[i].assign(refsPerLevel, i + 1);
    return children;
}

// The decoder runs on a thread with an ordinary stack, as the server's do.
std::optional<Dictionary> decodeOnThread(const std::string& payload) {
    std::optional<Dictionary> decoded{Dictionary{}};
    std::thread([&] { decoded = decodeFramePayload(payload); }).join();
    return decoded;
}

TEST(FrameTest, HostileObjectGraphsAreRefusedBeforeParsing) {
    // 130000 levels: fits in a frame, and would exhaust a recursive parser's stack.
    const std::string deep = arrayGraph(chain(130000, 1));
    ASSERT_LE(deep.size(), kMaxFramePayload);
    EXPECT_FALSE(decodeOnThread(deep).has_value());
    // 64 levels each referring twice to the next: 2^64 objects once expanded.
    EXPECT_FALSE(decodeOnThread(arrayGraph(chain(64, 2))).has_value());
    // A cycle.
    EXPECT_FALSE(decodeOnThread(arrayGraph({{1}, {0}})).has_value());
    // A reference past the last object.
    EXPECT_FALSE(decodeOnThread(arrayGraph({{7}})).has_value());
}

TEST(FrameTest, ModeratelyNestedMessagesStillPass) {
    Value nested{Dictionary{}};
    for (int i = 0; i < 100; ++i) nested = Value(Array{nested, Value("x")});
    const Dictionary body{{"nested", nested}};
    EXPECT_EQ(decodeFrame(encodeFrame(body)), body);
}

TEST(FrameTest, HeaderAnnouncesAtMostTheLimit) {
    const unsigned char limit[4] = {0x00, 0x10, 0x00, 0x00};  // exactly 1 MiB
    const unsigned char over[4] = {0x00, 0x10, 0x00, 0x01};
    const unsigned char zero[4] = {0, 0, 0, 0};
    EXPECT_EQ(decodeFrameHeader(limit), kMaxFramePayload);
    EXPECT_FALSE(decodeFrameHeader(over).has_value());
    EXPECT_FALSE(decodeFrameHeader(zero).has_value());
}

TEST(FrameTest, RequestAndReplyShapes) {
    const auto request = requestFromBody(requestBody("VLIPC.Lists", {{"k", Value(1)}}));
    ASSERT_TRUE(request.has_value());
    EXPECT_EQ(request->name, "VLIPC.Lists");
    EXPECT_EQ(request->message, (Dictionary{{"k", Value(1)}}));
    EXPECT_FALSE(requestFromBody({{"name", Value(1)}, {"message", Value(Dictionary{})}}).has_value());
    EXPECT_FALSE(requestFromBody({{"name", Value("x")}}).has_value());
    EXPECT_FALSE(requestFromBody({{"name", Value("x")}, {"message", Value("not a dict")}}).has_value());

    const Dictionary reply{{"lists", Value(Array{Value("Home")})}};
    EXPECT_EQ(replyFromBody(replyBody(reply)), reply);
    EXPECT_EQ(replyFromBody(replyBody(Dictionary{})), Dictionary{});
    const Dictionary error = replyBody(std::nullopt, "no handler for X");
    EXPECT_EQ(error.at("error").stringValue(), "no handler for X");
    EXPECT_FALSE(replyFromBody(error).has_value());
    EXPECT_FALSE(replyFromBody({{"reply", Value("x")}}).has_value());
}

}  // namespace

namespace {

// A reply read off the socket hands out its ASCII strings as views of the
// received bytes, and they outlive those bytes' owner (under ASan a view
// freed early is a use-after-free); other strings are copies as before.
TEST(FrameTest, AsciiStringsOfAReceivedPayloadAreViewsThatOutliveIt) {
    const Array titles{Value("Groceries"), Value("Caf\xC3\xA9"), Value(""), Value("Groceries"), Value("Work")};
    const std::string frame = objcipc::encodeFrame(objcipc::replyBody(Dictionary{{"lists", Value(titles)}}));
    const std::string_view payload = std::string_view(frame).substr(objcipc::kFrameHeaderSize);
    std::optional<Dictionary> body;
    std::vector<bool> views;
    {
        SharedBytes received(payload.size());
        std::memcpy(received.data(), payload.data(), payload.size());
        body = objcipc::decodeFramePayload(std::string_view(received.data(), received.size()), received);
        ASSERT_TRUE(body);
        for (const Value& title : *objcipc::replyFromBody(*body)->at("lists").asArray()) {
            const std::string_view text = *title.asString();
            views.push_back(!text.empty() && received.holds(text.data(), text.size()));
        }
    }
    EXPECT_EQ(views, (std::vector<bool>{true, false, false, true, true}));
    EXPECT_EQ(objcipc::replyFromBody(*body)->at("lists"), Value(titles));
}

// A reply larger than the client's first read, sent in whatever pieces and
// pauses, arrives whole; one left unfinished times out.
TEST(FrameTest, AReplyLargerThanTheFirstReadIsReadWholeHoweverItIsSent) {
    using namespace std::chrono_literals;
    Array titles;
    for (int i = 0; i < 2000; ++i) titles.emplace_back("Groceries and errands " + std::to_string(i));
    const Dictionary reply{{"lists", Value(titles)}};
    const std::string frame = encodeFrame(replyBody(reply));
    constexpr std::size_t kFirstRead = 16 * 1024;
    ASSERT_GT(frame.size(), 2 * kFirstRead);
    struct Case {
        const char* name;
        std::vector<std::size_t> pieces;  // sizes sent, with a pause before each but the first
        std::chrono::milliseconds pause;
        ReadStatus expected;
    };
    for (const Case& c : std::vector<Case>{
             {"all at once", {frame.size()}, 0ms, ReadStatus::Ok},
             {"the first read's worth, the rest later", {kFirstRead, frame.size()}, 30ms, ReadStatus::Ok},
             {"in small pieces", std::vector<std::size_t>(frame.size() / 4096 + 1, 4096), 2ms, ReadStatus::Ok},
             {"the rest never comes", {kFirstRead}, 0ms, ReadStatus::TimedOut},
         }) {
        SCOPED_TRACE(c.name);
        int ends[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
        springboard::FileDescriptor reader(ends[0]), writer(ends[1]);  // the writer stays open
        ASSERT_EQ(::fcntl(reader.get(), F_SETFL, O_NONBLOCK), 0);
        std::thread server([&] {
            for (std::size_t i = 0, sent = 0; i < c.pieces.size() && sent < frame.size(); ++i) {
                if (i > 0) std::this_thread::sleep_for(c.pause);
                const std::size_t size = std::min(c.pieces[i], frame.size() - sent);
                ASSERT_EQ(::send(writer.get(), frame.data() + sent, size, MSG_NOSIGNAL), static_cast<ssize_t>(size));
                sent += size;
            }
        });
        const FrameRead read = readFrame(reader.get(), Clock::now() + 300ms, kMaxReplyPayload);
        server.join();
        EXPECT_EQ(read.status, c.expected);
        if (c.expected == ReadStatus::Ok) {
            ASSERT_TRUE(read.body);
            EXPECT_EQ(replyFromBody(*read.body), reply);
        }
    }
}

}  // namespace
