#include "NSURL.h"

namespace {

bool isHexDigit(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool isAlpha(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(unsigned char c) { return c >= '0' && c <= '9'; }

// The characters that may stand in a URL string as they are: RFC 3986's
// unreserved, reserved and "%" (checked separately for its two hex digits).
bool isURLCharacter(unsigned char c) {
    if (isAlpha(c) || isDigit(c)) return true;
    switch (c) {
        case '-': case '.': case '_': case '~':
        case ':': case '/': case '?': case '#': case '[': case ']': case '@':
        case '!': case '$': case '&': case '\'': case '(': case ')':
        case '*': case '+': case ',': case ';': case '=':
        case '%':
            return true;
        default:
            return false;
    }
}

bool isWellFormed(const std::string& s) {
    if (s.empty()) return false;
    bool seenFragment = false;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (!isURLCharacter(c)) return false;
        if (c == '%') {
            if (i + 2 >= s.size() || !isHexDigit(static_cast<unsigned char>(s[i + 1])) ||
                !isHexDigit(static_cast<unsigned char>(s[i + 2])))
                return false;
        } else if (c == '#') {
            if (seenFragment) return false;
            seenFragment = true;
        }
    }
    return true;
}

}  // namespace

std::shared_ptr<NSURL> NSURL::URLWithString(const std::string& string) {
    if (!isWellFormed(string)) return nullptr;
    return std::make_shared<NSURL>(string);
}

std::string NSURL::scheme() const {
    const auto colon = string_.find(':');
    if (colon == std::string::npos || colon == 0) return {};
    if (!isAlpha(static_cast<unsigned char>(string_[0]))) return {};
    for (std::size_t i = 1; i < colon; ++i) {
        const auto c = static_cast<unsigned char>(string_[i]);
        if (!isAlpha(c) && !isDigit(c) && c != '+' && c != '-' && c != '.') return {};
    }
    return string_.substr(0, colon);
}
