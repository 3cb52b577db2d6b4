#include "UTF8.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

// isAscii reads whole words and a last word that overlaps the one before:
// a byte of 0x80 or more must be seen wherever it stands, in any length
// around the word size, and nothing below 0x80 may be taken for one.
TEST(IsAscii, SeesAHighByteAtEveryPositionOfEveryLength) {
    for (std::size_t length = 0; length <= 25; ++length) {
        const std::string plain(length, '\x7F');
        EXPECT_TRUE(springboard::isAscii(plain)) << length;
        for (std::size_t at = 0; at < length; ++at) {
            std::string marked = plain;
            marked[at] = '\x80';
            EXPECT_FALSE(springboard::isAscii(marked)) << length << " " << at;
            // The word test sees the byte in the word that holds it.
            if (length >= 8) {
                const std::size_t word = std::min(at, length - 8);
                EXPECT_FALSE(springboard::isAsciiWord(marked.data() + word)) << length << " " << at;
                EXPECT_TRUE(springboard::isAsciiWord(plain.data() + word)) << length << " " << at;
            }
        }
    }
    // Only the bytes in view count, not those beside them.
    const std::string padded = "\xC3" "abcdefghijklmnop" "\xA9";
    EXPECT_TRUE(springboard::isAscii(std::string_view(padded).substr(1, padded.size() - 2)));
}
