#include "TerminalText.h"

#include <cstdio>

#include "UTF8.h"

namespace sim {
namespace {

std::string hexByte(unsigned value) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "\\x%02X", value & 0xFF);
    return buffer;
}

}  // namespace

std::string printable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t start = at;
        auto code = springboard::decodeUTF8(text, at);
        if (!code) {
            out += hexByte(static_cast<unsigned char>(text[at]));
            ++at;
            continue;
        }
        const char32_t c = *code;
        if (c == '\n') out += "\\n";
        else if (c == '\t') out += "\\t";
        else if (c == '\r') out += "\\r";
        else if (c == 0x1B) out += "\\e";
        else if (c < 0x20 || c == 0x7F) out += hexByte(static_cast<unsigned>(c));
        else if (c >= 0x80 && c < 0xA0) {
            char buffer[12];
            std::snprintf(buffer, sizeof buffer, "\\u{%02X}", static_cast<unsigned>(c));
            out += buffer;
        } else {
            out.append(text.substr(start, at - start));
        }
    }
    return out;
}

}  // namespace sim
