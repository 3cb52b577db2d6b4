#pragma once

// The wire format between apps and SpringBoard's IPC server. Each frame is a
// 4-byte big-endian payload length followed by that many bytes of a binary
// property list whose root is a dictionary:
//     request: {"name": string, "message": dictionary}, with "last": true
//              when no other request follows on the connection (the server
//              then closes it after the reply, without waiting to see its end)
//     reply:   {"reply": dictionary}, or {"error": string} when SpringBoard
//              has no answer (no handler for the name, the handler failed).
// The decoders accept anything (they are fuzzed) and return absent for every
// malformed input.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "InternalExport.h"
#include "SharedStringArena.h"
#include "Value.h"

namespace objcipc {

// Request payloads longer than this are refused; a peer announcing one is
// dropped. Requests are small (a name and a few values); replies may carry
// every list title, so they may be far longer.
inline constexpr std::size_t kMaxFramePayload = 1u << 20;
inline constexpr std::size_t kMaxReplyPayload = 64u << 20;
inline constexpr std::size_t kFrameHeaderSize = 4;

// The error text SpringBoard answers with instead of a reply over
// kMaxReplyPayload.
inline constexpr const char* kReplyTooLarge = "reply too large";

// The whole frame (header and payload) carrying `body`.
INTERNAL_API std::string encodeFrame(const Dictionary& body);

// The payload length a 4-byte header announces; absent when it is zero or
// over `maxPayload` (kMaxFramePayload for requests, kMaxReplyPayload for
// replies).
INTERNAL_API std::optional<std::size_t> decodeFrameHeader(const unsigned char header[kFrameHeaderSize],
                                                          std::size_t maxPayload = kMaxFramePayload);

// The dictionary a payload carries: absent unless it is a binary property
// list with a dictionary root, at most kMaxReplyPayload long, whose decoded
// values fit in `budget` bytes (by default springboard::defaultDecodeBudget of
// the payload's size).
INTERNAL_API std::optional<Dictionary> decodeFramePayload(std::string_view payload);
INTERNAL_API std::optional<Dictionary> decodeFramePayload(std::string_view payload, std::size_t budget);
// The same (with the default budget), for a payload lying within `source`:
// its ASCII strings are views of `source` rather than copies.
INTERNAL_API std::optional<Dictionary> decodeFramePayload(std::string_view payload, SharedBytes& source);

// The dictionary of `bytes` holding exactly one whole frame; absent for a
// short, long, oversized or malformed frame.
INTERNAL_API std::optional<Dictionary> decodeFrame(std::string_view bytes);

struct Request {
    std::string name;
    Dictionary message;
    bool last = false;
};

INTERNAL_API Dictionary requestBody(const std::string& name, const Dictionary& message, bool last = false);
// Absent unless "name" is a string and "message" a dictionary; "last" is
// taken only when it is true.
INTERNAL_API std::optional<Request> requestFromBody(const Dictionary& body);

// `reply` absent: the error marker, with `error` as its text.
INTERNAL_API Dictionary replyBody(const std::optional<Dictionary>& reply, const std::string& error = "no reply");
// The reply dictionary; absent for the error marker or any other shape.
INTERNAL_API std::optional<Dictionary> replyFromBody(const Dictionary& body);
// The error marker's text; absent for a reply or any other shape.
INTERNAL_API std::optional<std::string> errorFromBody(const Dictionary& body);

}  // namespace objcipc
