#pragma once

// Text from a device or a peer (list titles, task texts, error replies) on
// its way to a terminal: what could move the cursor, change colours or
// confuse the terminal's decoder is shown as an escape instead.

#include <string>
#include <string_view>

namespace sim {

// `text` with control characters (C0, DEL, C1) written as \n, \t, \r, \e or
// \xNN (\u{NN} for C1, which are valid UTF-8) and each byte that is no
// UTF-8 written as \xNN; everything else, "\" included, as it is.
std::string printable(std::string_view text);

}  // namespace sim
