#include "PlistShape.h"

#include <cstring>
#include <string>
#include <utility>

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

namespace {

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::size_t digits(std::string_view text, std::size_t at) {
    std::size_t end = at;
    while (end < text.size() && isDigit(text[end])) ++end;
    return end - at;
}

bool isInteger(std::string_view text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        return text.find_first_not_of("0123456789abcdefABCDEF", 2) == std::string_view::npos;
    const std::size_t sign = !text.empty() && (text[0] == '-' || text[0] == '+');
    const std::size_t n = digits(text, sign);
    return n > 0 && sign + n == text.size() && (n == 1 || text[sign] != '0');
}

bool isReal(std::string_view text) {
    std::size_t at = !text.empty() && (text[0] == '-' || text[0] == '+');
    std::string word(text.substr(at));
    for (char& c : word) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    if (word == "nan" || word == "inf" || word == "infinity") return true;
    const std::size_t whole = digits(text, at);
    at += whole;
    std::size_t fraction = 0;
    if (at < text.size() && text[at] == '.') {
        fraction = digits(text, at + 1);
        at += 1 + fraction;
    }
    if (whole + fraction == 0) return false;
    if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
        ++at;
        if (at < text.size() && (text[at] == '-' || text[at] == '+')) ++at;
        const std::size_t exponent = digits(text, at);
        if (exponent == 0) return false;
        at += exponent;
    }
    return at == text.size();
}

}  // namespace

bool xmlPlistNumbersAreWellFormed(std::string_view bytes) {
    for (const auto& [tag, valid] : {std::pair{std::string_view("<integer"), &isInteger},
                                     std::pair{std::string_view("<real"), &isReal}}) {
        for (std::size_t at = bytes.find(tag); at != std::string_view::npos; at = bytes.find(tag, at + 1)) {
            const std::size_t open = at + tag.size();
            if (open >= bytes.size() || bytes[open] != '>') return false;  // no content, or attributes
            const std::size_t close = bytes.find('<', open);
            if (close == std::string_view::npos || !valid(trimmed(bytes.substr(open + 1, close - open - 1))))
                return false;
        }
    }
    return true;
}

}  // namespace springboard
