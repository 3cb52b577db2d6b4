// The XML property-list writer. Ours rather than libplist's, which writes
// integers above 2^63-1 as negative numbers and dates past 2038 wrong. It
// writes only what reads back exactly; anything else gives "" (a failed
// write), never a nearby value.

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "NSString.h"
#include "PlistCodec.h"

namespace springboard {

namespace {

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
std::int64_t daysFromCivil(std::int64_t year, unsigned month, unsigned day) {
    year -= month <= 2;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

struct Civil {
    std::int64_t year;
    unsigned month, day;
};

Civil civilFromDays(std::int64_t days) {
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const auto dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned mp = (5 * dayOfYear + 2) / 153;
    const unsigned day = dayOfYear - (153 * mp + 2) / 5 + 1;
    const unsigned month = mp < 10 ? mp + 3 : mp - 9;
    return {static_cast<std::int64_t>(yearOfEra) + era * 400 + (month <= 2), month, day};
}

constexpr std::int64_t kReferenceDate = 978307200;  // 2001-01-01 in Unix seconds

// ISO 8601 in UTC, as XML property lists carry dates: whole seconds, years
// 0001 to 9999. Absent for any other date.
std::optional<std::string> isoDate(double secondsSinceReference) {
    if (!std::isfinite(secondsSinceReference) || secondsSinceReference != std::floor(secondsSinceReference))
        return std::nullopt;
    static const double kFirst = static_cast<double>(daysFromCivil(1, 1, 1) * 86400 - kReferenceDate);
    static const double kLast = static_cast<double>(daysFromCivil(10000, 1, 1) * 86400 - kReferenceDate - 1);
    if (secondsSinceReference < kFirst || secondsSinceReference > kLast) return std::nullopt;
    const auto unix = static_cast<std::int64_t>(secondsSinceReference) + kReferenceDate;
    std::int64_t days = unix / 86400, seconds = unix % 86400;
    if (seconds < 0) {
        seconds += 86400;
        --days;
    }
    const Civil date = civilFromDays(days);
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year), date.month,
                  date.day, static_cast<int>(seconds / 3600), static_cast<int>(seconds / 60 % 60),
                  static_cast<int>(seconds % 60));
    return std::string(buffer);
}

// Text as XML character data; false when XML cannot carry it exactly: bytes
// that are no UTF-8, and control characters XML has no form for (NUL among
// them, and the noncharacters U+FFFE and U+FFFF). A carriage return goes as
// a reference: readers turn a literal one into a line feed.
bool appendEscaped(std::string& out, std::string_view text) {
    if (!isValidUTF8(text) || text.find("\xEF\xBF\xBE") != std::string_view::npos ||
        text.find("\xEF\xBF\xBF") != std::string_view::npos)
        return false;
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '\r': out += "&#13;"; break;
            case '\t':
            case '\n': out += c; break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) return false;
                out += c;
        }
    }
    return true;
}

void appendBase64(std::string& out, const std::vector<std::uint8_t>& bytes) {
    static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const std::uint32_t n = (std::uint32_t{bytes[i]} << 16) | (std::uint32_t{bytes[i + 1]} << 8) | bytes[i + 2];
        for (int shift = 18; shift >= 0; shift -= 6) out += kDigits[(n >> shift) & 0x3F];
    }
    if (i < bytes.size()) {
        std::uint32_t n = std::uint32_t{bytes[i]} << 16;
        if (i + 1 < bytes.size()) n |= std::uint32_t{bytes[i + 1]} << 8;
        out += kDigits[(n >> 18) & 0x3F];
        out += kDigits[(n >> 12) & 0x3F];
        out += i + 1 < bytes.size() ? kDigits[(n >> 6) & 0x3F] : '=';
        out += '=';
    }
}

void appendReal(std::string& out, double d) {
    if (std::isnan(d)) {
        out += "nan";
    } else if (std::isinf(d)) {
        out += d > 0 ? "inf" : "-inf";
    } else {
        char buffer[64];
        const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, d);
        out.append(buffer, ec == std::errc() ? end : buffer);
    }
}

class XmlWriter {
public:
    bool write(const Value& value, int level) {
        if (level >= kMaxPropertyListDepth) return false;  // the root is level 0
        out_.append(static_cast<std::size_t>(level), '\t');
        switch (value.kind()) {
            case Value::Kind::nil: return false;  // callers skip nil members
            case Value::Kind::boolean: out_ += *value.asBoolean() ? "<true/>" : "<false/>"; break;
            case Value::Kind::integer:
                out_ += "<integer>";
                out_ += value.asInteger() ? std::to_string(*value.asInteger())
                                          : std::to_string(*value.asUnsignedInteger());
                out_ += "</integer>";
                break;
            case Value::Kind::real:
                out_ += "<real>";
                appendReal(out_, *value.asReal());
                out_ += "</real>";
                break;
            case Value::Kind::string:
                out_ += "<string>";
                if (!appendEscaped(out_, *value.asString())) return false;
                out_ += "</string>";
                break;
            case Value::Kind::data:
                out_ += "<data>";
                appendBase64(out_, value.asData()->bytes);
                out_ += "</data>";
                break;
            case Value::Kind::date: {
                const auto text = isoDate(value.asDate()->secondsSinceReferenceDate);
                if (!text) return false;
                out_ += "<date>" + *text + "</date>";
                break;
            }
            case Value::Kind::array: {
                const Array& array = *value.asArray();
                out_ += "<array>\n";
                for (const Value& element : array)
                    if (!element.isNil() && !write(element, level + 1)) return false;
                out_.append(static_cast<std::size_t>(level), '\t');
                out_ += "</array>";
                break;
            }
            case Value::Kind::dictionary: {
                out_ += "<dict>\n";
                for (const auto& [key, element] : *value.asDictionary()) {
                    if (element.isNil()) continue;
                    out_.append(static_cast<std::size_t>(level + 1), '\t');
                    out_ += "<key>";
                    if (!appendEscaped(out_, key)) return false;
                    out_ += "</key>\n";
                    if (!write(element, level + 1)) return false;
                }
                out_.append(static_cast<std::size_t>(level), '\t');
                out_ += "</dict>";
                break;
            }
        }
        out_ += '\n';
        return true;
    }

    std::string take() && { return std::move(out_); }

private:
    std::string out_ =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
        "<plist version=\"1.0\">\n";
};

}  // namespace

std::string xmlPropertyList(const Value& value) {
    if (value.isNil()) return {};
    XmlWriter writer;
    if (!writer.write(value, 0)) return {};
    std::string out = std::move(writer).take();
    out += "</plist>\n";
    return out;
}

}  // namespace springboard
