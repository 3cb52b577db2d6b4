// The two percent-escaping routines of NSString.h. Both work byte by byte on
// the UTF-8 form; they differ only in which bytes may stand unescaped.

#include <string>

#include "NSString.h"

namespace {

bool isAlphanumeric(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

bool isWholeURLCharacter(unsigned char c) {
    if (isAlphanumeric(c)) return true;
    switch (c) {
        case '!': case '$': case '&': case '\'': case '(': case ')': case '*': case '+':
        case ',': case '-': case '.': case '/': case ':': case ';': case '=': case '?':
        case '@': case '_': case '~':
            return true;
        default:
            return false;
    }
}

bool isQueryValueCharacter(unsigned char c) {
    return isAlphanumeric(c) || c == '-' || c == '.' || c == '_' || c == '~';
}

template <class Keep>
std::string escape(std::string_view string, Keep keep) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(string.size());
    for (const char ch : string) {
        const auto c = static_cast<unsigned char>(ch);
        if (keep(c)) {
            out += ch;
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        }
    }
    return out;
}

}  // namespace

std::optional<std::string> stringByAddingPercentEscapesUsingEncoding(std::string_view string, unsigned long encoding) {
    if (encoding != NSUTF8StringEncoding) return std::nullopt;
    return escape(string, isWholeURLCharacter);
}

std::string stringByAddingPercentEncodingForQueryValue(std::string_view string) {
    return escape(string, isQueryValueCharacter);
}
