#pragma once

// The one UTF-8 decoder of the platform. Strict: overlong forms, surrogates,
// code points past U+10FFFF and truncated sequences are malformed, and each
// caller chooses what a malformed byte becomes (U+FFFD, itself, a refusal).

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>

namespace springboard {

// The code point whose UTF-8 sequence starts at `text[at]`, advancing `at`
// past it; absent (and `at` unchanged) when the bytes there are no UTF-8.
// `at` must be below `text.size()`.
std::optional<char32_t> decodeUTF8(std::string_view text, std::size_t& at);

// Whether the eight bytes at `p` are all below 0x80.
inline bool isAsciiWord(const char* p) {
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return (word & 0x8080808080808080ULL) == 0;
}

// Whether every byte of `text` is below 0x80: one OR over its words, the
// last word overlapping the one before, and one test. List titles are
// mostly short ASCII, and this settles them without decoding.
inline bool isAscii(std::string_view text) {
    const char* p = text.data();
    const std::size_t n = text.size();
    std::uint64_t bits = 0, word;
    if (n >= sizeof word) {
        for (std::size_t at = 0; at + sizeof word <= n; at += sizeof word) {
            std::memcpy(&word, p + at, sizeof word);
            bits |= word;
        }
        std::memcpy(&word, p + n - sizeof word, sizeof word);
        bits |= word;
    } else {
        for (std::size_t at = 0; at < n; ++at) bits |= static_cast<unsigned char>(p[at]);
    }
    return (bits & 0x8080808080808080ULL) == 0;
}

}  // namespace springboard
