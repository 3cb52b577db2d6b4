#include "NSString.h"

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
