// Any bytes as an IPC frame (header and payload) from a peer: every decoder
// either rejects them or yields a request/reply that encodes and decodes
// back to the same thing, and the client's read of received bytes agrees
// with the plain read.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "FuzzCompare.h"
#include "Frame.h"
#include "ReplyEncoder.h"
#include "SharedStringArena.h"

namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    if (size >= objcipc::kFrameHeaderSize) {
        const auto length = objcipc::decodeFrameHeader(data);
        if (length && (*length == 0 || *length > objcipc::kMaxFramePayload)) fail("header length out of range");
        objcipc::decodeFramePayload(bytes.substr(objcipc::kFrameHeaderSize));
    }
    const auto plain = objcipc::decodeFramePayload(bytes);
    {
        // Read as a client reads a reply, its strings views of the bytes
        // received: the same refusals, the same values.
        SharedBytes received(size);
        if (size > 0) std::memcpy(received.data(), data, size);
        const auto viewed = objcipc::decodeFramePayload(std::string_view(received.data(), size), received);
        if (plain.has_value() != viewed.has_value() ||
            (plain && !fuzz::sameAfterEncoding(Value(*plain), Value(*viewed))))
            fail("a payload read as received bytes differs from the plain read");
    }

    const auto body = objcipc::decodeFrame(bytes);
    if (!body) return 0;
    const auto again = objcipc::decodeFrame(objcipc::encodeFrame(*body));
    if (!again || !fuzz::sameAfterEncoding(Value(*again), Value(*body))) fail("a decoded frame does not survive re-encoding");

    if (auto request = objcipc::requestFromBody(*body)) {
        auto back = objcipc::requestFromBody(objcipc::requestBody(request->name, request->message, request->last));
        if (!back || back->name != request->name || back->last != request->last ||
            !fuzz::sameAfterEncoding(Value(back->message), Value(request->message)))
            fail("a request does not survive re-encoding");
    }
    if (auto reply = objcipc::replyFromBody(*body)) {
        auto back = objcipc::replyFromBody(objcipc::replyBody(*reply));
        if (!back || !fuzz::sameAfterEncoding(Value(*back), Value(*reply))) fail("a reply does not survive re-encoding");
        // The server's one-pass encoder writes what the general one does.
        const objcipc::EncodedFrame frame = objcipc::encodeReplyFrame(&*reply, "");
        const auto onePass = objcipc::decodeFramePayload(frame.view().substr(objcipc::kFrameHeaderSize));
        const std::string general = objcipc::encodeFrame(objcipc::replyBody(*reply));
        const auto generalBack = objcipc::decodeFramePayload(std::string_view(general).substr(objcipc::kFrameHeaderSize));
        if (!onePass || !generalBack || !fuzz::sameAfterEncoding(Value(*onePass), Value(*generalBack)))
            fail("the one-pass reply differs from the general encoder's");
    }
    return 0;
}
