#include "PlistShape.h"

#include <cstring>

namespace springboard {

namespace {

// Each tag is looked at once, so the test is plain byte compares on the
// bytes left, without building a view per candidate.
bool startsWith(std::string_view bytes, std::size_t at, std::string_view text) {
    return at <= bytes.size() && bytes.size() - at >= text.size() &&
           std::memcmp(bytes.data() + at, text.data(), text.size()) == 0;
}

// The position just past `terminator` from `at`, or the end.
std::size_t skipPast(std::string_view bytes, std::size_t at, std::string_view terminator) {
    auto end = bytes.find(terminator, at);
    return end == std::string_view::npos ? bytes.size() : end + terminator.size();
}

constexpr std::size_t kShortestNestingTag = 6;

bool isNameEnd(char c) { return c == '>' || c == '/' || c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

}  // namespace

bool xmlPlistDepthIsWithin(std::string_view bytes, std::size_t maxDepth) {
    // Every level counted below takes a tag of its own of at least six bytes
    // ("<dict>"): text shorter than maxDepth + 1 such tags cannot go deeper,
    // and a small preferences file needs no scan.
    if (bytes.size() / kShortestNestingTag <= maxDepth) return true;
    std::size_t depth = 0;
    for (std::size_t at = bytes.find('<'); at != std::string_view::npos; at = bytes.find('<', at)) {
        const char next = at + 1 < bytes.size() ? bytes[at + 1] : '\0';
        if (next == '!') {
            if (startsWith(bytes, at, "<!--")) {
                at = skipPast(bytes, at, "-->");
                continue;
            }
            if (startsWith(bytes, at, "<![CDATA[")) {
                at = skipPast(bytes, at, "]]>");
                continue;
            }
        }
        const bool closing = next == '/';
        const std::size_t name = at + (closing ? 2 : 1);
        const char first = name < bytes.size() ? bytes[name] : '\0';
        const std::size_t nameLength = first == 'a' && startsWith(bytes, name, "array")  ? 5
                                       : first == 'd' && startsWith(bytes, name, "dict") ? 4
                                                                                         : 0;
        const std::size_t close = bytes.find('>', at);
        if (close == std::string_view::npos) break;
        if (nameLength > 0 && name + nameLength < bytes.size() && isNameEnd(bytes[name + nameLength])) {
            const bool selfClosing = close > at && bytes[close - 1] == '/';
            if (closing) {
                if (depth > 0) --depth;
            } else if (!selfClosing && ++depth > maxDepth) {
                return false;
            }
        }
        at = close + 1;
    }
    return true;
}

}  // namespace springboard
