#pragma once

// The one UTF-8 decoder of the platform. Strict: overlong forms, surrogates,
// code points past U+10FFFF and truncated sequences are malformed, and each
// caller chooses what a malformed byte becomes (U+FFFD, itself, a refusal).

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>

#include "HostExport.h"

namespace springboard {

// The code point whose UTF-8 sequence starts at `text[at]`, advancing `at`
// past it; absent (and `at` unchanged) when the bytes there are no UTF-8.
// `at` must be below `text.size()`.
HOST_API std::optional<char32_t> decodeUTF8(std::string_view text, std::size_t& at);

// Whether every byte of `text` is below 0x80, eight bytes at a time: list
// titles are mostly short ASCII, and this settles them without decoding.
inline bool isAscii(std::string_view text) {
    const char* p = text.data();
    std::size_t n = text.size();
    for (; n >= 8; p += 8, n -= 8) {
        std::uint64_t word;
        std::memcpy(&word, p, sizeof word);
        if (word & 0x8080808080808080ULL) return false;
    }
    for (; n > 0; ++p, --n)
        if (static_cast<unsigned char>(*p) >= 0x80) return false;
    return true;
}

}  // namespace springboard
