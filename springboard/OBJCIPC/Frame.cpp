#include "Frame.h"

#include <cstring>

#include "BinaryPropertyListReader.h"
#include "PlistCodec.h"

namespace objcipc {

namespace {
constexpr std::string_view kBinaryPlistMagic = "bplist00";
}

std::string encodeFrame(const Dictionary& body) {
    // The writer leaves room for the header in front of the payload: no
    // second buffer, and no moving the payload to make room.
    std::string frame = springboard::binaryPropertyList(Value(body), kFrameHeaderSize);
    const auto length = static_cast<std::uint32_t>(frame.size() - kFrameHeaderSize);
    frame[0] = static_cast<char>((length >> 24) & 0xFF);
    frame[1] = static_cast<char>((length >> 16) & 0xFF);
    frame[2] = static_cast<char>((length >> 8) & 0xFF);
    frame[3] = static_cast<char>(length & 0xFF);
    return frame;
}

std::optional<std::size_t> decodeFrameHeader(const unsigned char header[kFrameHeaderSize], std::size_t maxPayload) {
    const std::size_t length = (std::size_t{header[0]} << 24) | (std::size_t{header[1]} << 16) |
                               (std::size_t{header[2]} << 8) | std::size_t{header[3]};
    if (length == 0 || length > maxPayload) return std::nullopt;
    return length;
}

std::optional<Dictionary> decodeFramePayload(std::string_view payload) {
    return decodeFramePayload(payload, springboard::defaultDecodeBudget(payload.size()));
}

namespace {
std::optional<Dictionary> decodePayload(std::string_view payload, std::size_t budget, SharedBytes* source) {
    // Only the binary form travels; refusing XML keeps the parser surface small.
    if (payload.size() > kMaxReplyPayload || payload.substr(0, kBinaryPlistMagic.size()) != kBinaryPlistMagic)
        return std::nullopt;
    // Decoded straight into a dictionary, with every decoded byte counted: a
    // megabyte of references to one object must not cost a hundred.
    return springboard::readBinaryPropertyListDictionary(payload, budget, source);
}
}  // namespace

std::optional<Dictionary> decodeFramePayload(std::string_view payload, std::size_t budget) {
    return decodePayload(payload, budget, nullptr);
}

std::optional<Dictionary> decodeFramePayload(std::string_view payload, SharedBytes& source) {
    return decodePayload(payload, springboard::defaultDecodeBudget(payload.size()), &source);
}

std::optional<Dictionary> decodeFrame(std::string_view bytes) {
    if (bytes.size() < kFrameHeaderSize) return std::nullopt;
    unsigned char header[kFrameHeaderSize];
    std::memcpy(header, bytes.data(), kFrameHeaderSize);
    const auto length = decodeFrameHeader(header);
    if (!length || bytes.size() - kFrameHeaderSize != *length) return std::nullopt;
    return decodeFramePayload(bytes.substr(kFrameHeaderSize));
}

Dictionary requestBody(const std::string& name, const Dictionary& message, bool last) {
    Dictionary body{{"name", Value(name)}, {"message", Value(message)}};
    if (last) body.emplace("last", Value(true));
    return body;
}

std::optional<Request> requestFromBody(const Dictionary& body) {
    const auto name = body.find("name");
    const auto message = body.find("message");
    if (name == body.end() || !name->second.asString() || message == body.end() || !message->second.asDictionary())
        return std::nullopt;
    const auto last = body.find("last");
    const bool isLast = last != body.end() && last->second.asBoolean() == std::optional<bool>(true);
    return Request{*name->second.stringValue(), *message->second.asDictionary(), isLast};
}

Dictionary replyBody(const std::optional<Dictionary>& reply, const std::string& error) {
    if (!reply) return Dictionary{{"error", Value(error)}};
    return Dictionary{{"reply", Value(*reply)}};
}

std::optional<Dictionary> replyFromBody(const Dictionary& body) {
    const auto reply = body.find("reply");
    if (reply == body.end() || !reply->second.asDictionary()) return std::nullopt;
    return *reply->second.asDictionary();
}

std::optional<std::string> errorFromBody(const Dictionary& body) {
    const auto error = body.find("error");
    if (error == body.end() || !error->second.asString()) return std::nullopt;
    return error->second.stringValue();
}

}  // namespace objcipc
