#pragma once

// The one UTF-8 decoder of the platform. Strict: overlong forms, surrogates,
// code points past U+10FFFF and truncated sequences are malformed, and each
// caller chooses what a malformed byte becomes (U+FFFD, itself, a refusal).

#include <cstddef>
#include <optional>
#include <string_view>

#include "HostExport.h"

namespace springboard {

// The code point whose UTF-8 sequence starts at `text[at]`, advancing `at`
// past it; absent (and `at` unchanged) when the bytes there are no UTF-8.
// `at` must be below `text.size()`.
HOST_API std::optional<char32_t> decodeUTF8(std::string_view text, std::size_t& at);

}  // namespace springboard
