// The benchmark's IPC floor speaks our wire format: each side decodes the
// other, in memory and over the socket, whatever the titles hold.

#include <gtest/gtest.h>

#include <filesystem>

#include "Client.h"
#include "Frame.h"
#include "IPCFloor.h"
#include "IPCServer.h"
#include "OBJCIPC.h"
#include "SocketIO.h"
#include "TempDirectory.h"

namespace {

// ASCII, short and long, empty, two- and three-byte UTF-8, one past the
// basic plane (a surrogate pair in UTF-16); enough of them for two-byte
// object references.
std::vector<std::string> someTitles(std::size_t count) {
    const std::string kinds[] = {"Groceries", "", "caf\xc3\xa9", "\xe2\x98\x83 winter", "rocket \xf0\x9f\x9a\x80",
                                 std::string(40, 'x')};
    std::vector<std::string> titles;
    for (std::size_t i = 0; i < count; ++i) titles.push_back(kinds[i % 6] + std::to_string(i));
    return titles;
}

bench::ListTitles bufferOf(const std::vector<std::string>& titles) {
    bench::ListTitles buffer;
    for (const auto& title : titles) {
        buffer.bytes += title;
        buffer.ends.push_back(static_cast<std::uint32_t>(buffer.bytes.size()));
    }
    return buffer;
}

Array arrayOf(const std::vector<std::string>& titles) {
    Array array;
    for (const auto& title : titles) array.emplace_back(title);
    return array;
}

TEST(IPCFloorTest, EachSideDecodesTheOthersReply) {
    for (const std::size_t count : {0u, 3u, 14u, 15u, 300u, 70000u}) {
        const auto titles = someTitles(count);
        const bench::ListTitles buffer = bufferOf(titles);
        bench::FloorReply frame;
        bench::floorEncodeReply(&buffer, frame);
        const auto ours = objcipc::decodeFramePayload(frame.payload());
        ASSERT_TRUE(ours.has_value()) << count;
        EXPECT_EQ(objcipc::replyFromBody(*ours), (Dictionary{{"lists", Value(arrayOf(titles))}})) << count;

        const std::string encoded = objcipc::encodeFrame(objcipc::replyBody(Dictionary{{"lists", Value(arrayOf(titles))}}));
        std::vector<std::string_view> scanned;
        std::string side;
        ASSERT_TRUE(bench::floorScanReply(std::string_view(encoded).substr(objcipc::kFrameHeaderSize), scanned, side))
            << count;
        EXPECT_EQ(std::vector<std::string>(scanned.begin(), scanned.end()), titles) << count;
    }
    bench::FloorReply empty;
    bench::floorEncodeReply(nullptr, empty);
    EXPECT_EQ(objcipc::decodeFrame(std::string_view(empty.bytes.get(), empty.size)), objcipc::replyBody(Dictionary{}));
    std::vector<std::string_view> none;
    std::string side;
    EXPECT_FALSE(bench::floorScanReply(empty.payload(), none, side));
    EXPECT_FALSE(bench::floorScanReply("bplist00 but nothing else of one, nor a trailer", none, side));
}

TEST(IPCFloorTest, EachSideAnswersTheOthersClientOverTheSocket) {
    const auto titles = someTitles(500);
    TempDirectory floorDevice, ourDevice;
    std::filesystem::create_directories(floorDevice.path() / "var/run");
    bench::FloorServer floor(objcipc::socketPathForDevice(floorDevice.str()), 2, "VLIPC.Lists",
                             [&](bench::FloorReply& frame) {
                                 const bench::ListTitles buffer = bufferOf(titles);
                                 bench::floorEncodeReply(&buffer, frame);
                             });
    ASSERT_TRUE(floor.ok());
    const auto fromFloor = objcipc::sendMessage(floorDevice.str(), "VLIPC.Lists", {}, 30);
    ASSERT_TRUE(fromFloor.reply.has_value()) << objcipc::describeFailure(fromFloor, floorDevice.str(), "VLIPC.Lists");
    EXPECT_EQ(fromFloor.reply->at("lists"), Value(arrayOf(titles)));

    OBJCIPC::registerIncomingMessageFromAppHandlerForMessageName(
        "VLIPC.Lists", [&](const Dictionary&) { return Dictionary{{"lists", Value(arrayOf(titles))}}; });
    auto server = objcipc::IPCServer::start(ourDevice.str());
    ASSERT_NE(server, nullptr);
    bench::FloorReply reply;
    ASSERT_TRUE(bench::floorExchange(server->socketPath(),
                                     objcipc::encodeFrame(objcipc::requestBody("VLIPC.Lists", {}, true)), reply));
    std::vector<std::string_view> scanned;
    std::string side;
    ASSERT_TRUE(bench::floorScanReply(reply.payload(), scanned, side));
    EXPECT_EQ(std::vector<std::string>(scanned.begin(), scanned.end()), titles);
    OBJCIPC::registerIncomingMessageFromAppHandlerForMessageName("VLIPC.Lists", nullptr);
}

}  // namespace
