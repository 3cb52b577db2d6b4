#pragma once

// The reply frame written in one pass over the handler's dictionary: each
// string is looked at once (ASCII or not) as it is written, into a buffer
// sized from an upper bound that needs no look at the strings at all. Its
// pages that the bound over-counts are never touched, so they cost nothing
// resident. The wrapper {"reply": ...} is written around the dictionary
// without copying it.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "Value.h"

namespace objcipc {

struct EncodedFrame {
    std::unique_ptr<char[]> bytes;
    std::size_t size = 0;
    std::string_view view() const { return {bytes.get(), size}; }
};

// The frame (header and payload) of {"reply": reply}, or of {"error": error}
// when `reply` is null: the same property list encodeFrame(replyBody(...))
// makes.
EncodedFrame encodeReplyFrame(const Dictionary* reply, const std::string& error);

}  // namespace objcipc
