#include "NSString.h"

#include <cstring>

#include "UTF8.h"

std::string stringWithFormat(std::string_view format, std::initializer_list<Value> arguments) {
    std::string out;
    out.reserve(format.size() + 32);
    auto next = arguments.begin();
    for (std::size_t i = 0; i < format.size(); ++i) {
        char c = format[i];
        if (c == '%' && i + 1 < format.size()) {
            if (format[i + 1] == '@') {
                out += next != arguments.end() ? (next++)->description() : std::string("(null)");
                ++i;
                continue;
            }
            if (format[i + 1] == '%') {
                out += '%';
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

std::string stringByReplacingOccurrencesOfString(std::string_view string, std::string_view target,
                                                 std::string_view replacement) {
    if (target.empty()) return std::string(string);
    std::string out;
    out.reserve(string.size() + replacement.size());  // one occurrence grows it no further
    std::size_t from = 0;
    for (std::size_t at; (at = string.find(target, from)) != std::string_view::npos; from = at + target.size()) {
        out.append(string.substr(from, at - from));
        out.append(replacement);
    }
    out.append(string.substr(from));
    return out;
}

std::string stringByAppendingPathComponent(std::string_view path, std::string_view component) {
    if (path.empty()) return std::string(component);
    while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
    while (!component.empty() && component.front() == '/') component.remove_prefix(1);
    std::string out(path);
    if (out.back() != '/') out += '/';
    out.append(component);
    return out;
}

bool isValidUTF8(std::string_view text) {
    // Most text is ASCII (every list title read from Clear's database passes
    // through here): settle it before any decoding.
    if (springboard::isAscii(text)) return true;
    std::size_t i = 0;
    while (i < text.size()) {
        // Skip ASCII eight bytes at a time up to the first multi-byte character.
        while (text.size() - i >= 8 && springboard::isAsciiWord(text.data() + i)) i += 8;
        if (i == text.size()) break;
        if (static_cast<unsigned char>(text[i]) < 0x80) {
            // A run of ASCII between multi-byte characters ("n\xC2\xB0 12 \xC3\xA0"):
            // byte by byte, without going back to the word test each time.
            do ++i;
            while (i < text.size() && static_cast<unsigned char>(text[i]) < 0x80);
            continue;
        }
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead >= 0xC2 && lead <= 0xDF && i + 1 < text.size() &&
            (static_cast<unsigned char>(text[i + 1]) & 0xC0) == 0x80) {
            i += 2;  // accented letters and signs such as "Â°": no call each
            continue;
        }
        if (!springboard::decodeUTF8(text, i)) return false;
    }
    return true;
}

std::optional<std::string> stringWithUTF8String(const char* bytes) {
    if (!bytes) return std::nullopt;
    std::string_view text(bytes, std::strlen(bytes));
    if (!isValidUTF8(text)) return std::nullopt;
    return std::string(text);
}
