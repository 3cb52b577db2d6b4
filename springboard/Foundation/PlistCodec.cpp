#include "PlistCodec.h"

#include "BinaryPropertyListWriter.h"

#include <plist/plist.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <string_view>

#include "NSString.h"
#include "PlistShape.h"

namespace {

struct PlistDeleter {
    void operator()(plist_t p) const { plist_free(p); }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

// libplist hands the bytes of a binary list's ASCII strings through as they
// are; text that is no UTF-8 would be written back as a list no reader
// accepts, so such a list is refused whole.
bool isUTF8Text(const char* text) { return isValidUTF8(std::string_view(text, std::strlen(text))); }

std::optional<Dictionary> toDictionary(plist_t node, int depth);

std::optional<Value> toValue(plist_t node, int depth) {
    if (depth > springboard::kMaxPropertyListDepth) return std::nullopt;
    switch (plist_get_node_type(node)) {
        case PLIST_BOOLEAN: {
            std::uint8_t b = 0;
            plist_get_bool_val(node, &b);
            return Value(b != 0);
        }
        case PLIST_UINT: {
            std::uint64_t u = 0;
            plist_get_uint_val(node, &u);
            // libplist keeps negative integers in their two's-complement form.
            return Value(static_cast<long long>(u));
        }
        case PLIST_REAL: {
            double d = 0;
            plist_get_real_val(node, &d);
            return Value(d);
        }
        case PLIST_STRING: {
            // Read in place: no copy, and no getter that asserts on the length.
            std::uint64_t length = 0;
            const char* s = plist_get_string_ptr(node, &length);
            if (!s) return Value(std::string());
            // Checked before the copy, so a refused string costs no allocation.
            const std::string_view text(s, static_cast<std::size_t>(length));
            if (text.find('\0') != std::string_view::npos || !isValidUTF8(text)) return std::nullopt;
            return Value(std::string(text));
        }
        case PLIST_KEY: {
            char* s = nullptr;
            plist_get_string_val(node, &s);
            std::string str = s ? s : "";
            const bool valid = !s || isUTF8Text(s);
            std::free(s);
            if (!valid) return std::nullopt;
            return Value(std::move(str));
        }
        case PLIST_DATA: {
            char* bytes = nullptr;
            std::uint64_t length = 0;
            plist_get_data_val(node, &bytes, &length);
            Data data;
            if (bytes) data.bytes.assign(bytes, bytes + length);
            std::free(bytes);
            return Value(std::move(data));
        }
        case PLIST_DATE: {
            std::int32_t sec = 0, usec = 0;
            plist_get_date_val(node, &sec, &usec);
            // libplist gives the seconds truncated toward zero and the size
            // of the fraction, so before the reference date the fraction
            // takes the seconds' sign. (Within the second before it, where
            // the seconds are 0, the sign is lost.) Dates past the 32-bit
            // range come out as garbage microseconds; keep them to the
            // range libplist can write back.
            const double exact = sec < 0 ? sec - std::abs(usec) / 1e6 : sec + usec / 1e6;
            const double seconds = std::clamp(exact, static_cast<double>(std::numeric_limits<std::int32_t>::min()),
                                              static_cast<double>(std::numeric_limits<std::int32_t>::max()));
            return Value(Date{seconds});
        }
        case PLIST_ARRAY: {
            Array array;
            std::uint32_t n = plist_array_get_size(node);
            array.reserve(n);
            // Walk with an iterator: libplist's arrays are linked lists, so
            // fetching item i by index would make the walk quadratic.
            plist_array_iter it = nullptr;
            plist_array_new_iter(node, &it);
            bool ok = true;
            for (std::uint32_t i = 0; ok && i < n; ++i) {
                plist_t item = nullptr;
                plist_array_next_item(node, it, &item);
                auto element = item ? toValue(item, depth + 1) : std::nullopt;
                ok = element.has_value();
                if (ok) array.push_back(std::move(*element));
            }
            std::free(it);
            if (!ok) return std::nullopt;
            return Value(std::move(array));
        }
        case PLIST_DICT: {
            auto dictionary = toDictionary(node, depth);
            if (!dictionary) return std::nullopt;
            return Value(std::move(*dictionary));
        }
        default:
            // UIDs (keyed-archiver references) and anything newer have no
            // counterpart among property-list objects.
            return std::nullopt;
    }
}

std::optional<Dictionary> toDictionary(plist_t node, int depth) {
    Dictionary dictionary;
    plist_dict_iter it = nullptr;
    plist_dict_new_iter(node, &it);
    bool ok = true;
    while (ok) {
        char* key = nullptr;
        plist_t item = nullptr;
        plist_dict_next_item(node, it, &key, &item);
        if (!item) {
            std::free(key);
            break;
        }
        auto element = toValue(item, depth + 1);
        // Keys mostly come in order: the end hint makes each insert constant-time.
        if (element && key) dictionary.insert_or_assign(dictionary.end(), std::string(key), std::move(*element));
        ok = element.has_value() && (!key || isUTF8Text(key));
        std::free(key);
    }
    std::free(it);
    if (!ok) return std::nullopt;
    return dictionary;
}

// The big-endian unsigned integer in `size` bytes at `p`; like libplist, only
// the last eight bytes of a longer field count.
std::uint64_t bigEndian(const unsigned char* p, std::size_t size) {
    if (size > 8) {
        p += size - 8;
        size = 8;
    }
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < size; ++i) value = (value << 8) | p[i];
    return value;
}

// Whether a binary property list holds a UTF-16 string with a U+0000 in it.
// libplist turns such a string into a node whose length disagrees with its C
// string, and then aborts the process on an assertion when the string or key
// is read. Walks every object of the offset table the way libplist finds
// them; what libplist would refuse anyway is skipped.
bool hasUtf16StringWithNul(const unsigned char* bytes, std::size_t length) {
    constexpr std::size_t kHeader = 8, kTrailer = 32;
    if (length < kHeader + kTrailer) return false;
    const unsigned char* trailer = bytes + length - kTrailer;
    const std::size_t offsetSize = trailer[6];
    const std::uint64_t objects = bigEndian(trailer + 8, 8);
    const std::uint64_t table = bigEndian(trailer + 24, 8);
    if (offsetSize == 0 || table >= length || objects > (length - table) / offsetSize) return false;
    for (std::uint64_t i = 0; i < objects; ++i) {
        const std::uint64_t offset = bigEndian(bytes + table + i * offsetSize, offsetSize);
        if (offset >= length) continue;
        const unsigned char marker = bytes[offset];
        if ((marker & 0xF0) != 0x60) continue;  // UTF-16 string
        std::size_t at = static_cast<std::size_t>(offset) + 1;
        std::uint64_t units = marker & 0x0F;
        if (units == 0x0F) {  // the count follows as an integer object
            if (at >= length || (bytes[at] & 0xF0) != 0x10) continue;
            const std::size_t countSize = std::size_t{1} << (bytes[at] & 0x0F);
            ++at;
            if (countSize > length - at) continue;
            units = bigEndian(bytes + at, countSize);
            at += countSize;
        }
        if (units > (length - at) / 2) continue;
        for (std::uint64_t u = 0; u < units; ++u) {
            if (bytes[at + 2 * u] == 0 && bytes[at + 2 * u + 1] == 0) return true;
        }
    }
    return false;
}

// libplist's tree of property-list bytes; null when they are none.
PlistPtr parseRoot(const void* bytes, std::size_t length) {
    if (!bytes || length == 0 || length > std::numeric_limits<std::uint32_t>::max()) return nullptr;
    // A string that libplist cannot hand out without aborting (a UTF-16
    // string holding U+0000 in a binary list, any NUL byte in an XML list,
    // where XML allows none) makes the whole list unreadable, as any other
    // malformed list is.
    const auto* data = static_cast<const unsigned char*>(bytes);
    const bool binary = length >= 8 && std::memcmp(data, "bplist00", 8) == 0;
    if (binary ? hasUtf16StringWithNul(data, length) : std::memchr(data, 0, length) != nullptr) return nullptr;
    // libplist recurses once per nesting level (and expands shared objects
    // once per reference): refuse what would exhaust the stack or memory
    // before it gets to see it.
    const std::string_view view(static_cast<const char*>(bytes), length);
    if (binary ? !springboard::binaryPlistShapeIsWithin(view, springboard::kMaxPropertyListDepth,
                                                        springboard::kMaxPropertyListNodes)
               : !springboard::xmlPlistDepthIsWithin(view, springboard::kMaxPropertyListDepth))
        return nullptr;
    plist_t root = nullptr;
    plist_from_memory(static_cast<const char*>(bytes), static_cast<std::uint32_t>(length), &root);
    return PlistPtr(root);
}

plist_t toPlist(const Value& value) {
    switch (value.kind()) {
        case Value::Kind::Nil: return nullptr;
        case Value::Kind::Boolean: return plist_new_bool(*value.asBoolean() ? 1 : 0);
        case Value::Kind::Integer: return plist_new_uint(static_cast<std::uint64_t>(*value.asInteger()));
        case Value::Kind::Real: return plist_new_real(*value.asReal());
        case Value::Kind::String: return plist_new_string(value.asString()->c_str());
        case Value::Kind::Data: {
            const auto& bytes = value.asData()->bytes;
            return plist_new_data(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        }
        case Value::Kind::Date: {
            // libplist keeps a date as 32-bit whole seconds plus microseconds:
            // dates past that range are clamped to it (and NaN taken as the
            // reference date) rather than overflowing the conversion.
            double seconds = value.asDate()->secondsSinceReferenceDate;
            if (std::isnan(seconds)) seconds = 0;
            seconds = std::clamp(seconds, static_cast<double>(std::numeric_limits<std::int32_t>::min()),
                                 static_cast<double>(std::numeric_limits<std::int32_t>::max()));
            auto sec = static_cast<std::int32_t>(seconds);
            return plist_new_date(sec, static_cast<std::int32_t>(std::lround((seconds - sec) * 1e6)));
        }
        case Value::Kind::Array: {
            plist_t array = plist_new_array();
            for (const auto& element : *value.asArray())
                if (plist_t item = toPlist(element)) plist_array_append_item(array, item);
            return array;
        }
        case Value::Kind::Dictionary: {
            plist_t dict = plist_new_dict();
            for (const auto& [key, element] : *value.asDictionary())
                if (plist_t item = toPlist(element)) plist_dict_set_item(dict, key.c_str(), item);
            return dict;
        }
    }
    return nullptr;
}

}  // namespace

namespace springboard {

std::optional<Value> parsePropertyList(const void* bytes, std::size_t length) {
    PlistPtr root = parseRoot(bytes, length);
    if (!root) return std::nullopt;
    return toValue(root.get(), 0);
}

std::optional<Dictionary> parsePropertyListDictionary(const void* bytes, std::size_t length) {
    PlistPtr root = parseRoot(bytes, length);
    if (!root || plist_get_node_type(root.get()) != PLIST_DICT) return std::nullopt;
    return toDictionary(root.get(), 0);
}

std::string xmlPropertyList(const Value& value) {
    PlistPtr root(toPlist(value));
    if (!root) return {};
    char* xml = nullptr;
    std::uint32_t length = 0;
    plist_to_xml(root.get(), &xml, &length);
    std::string out = xml ? std::string(xml, length) : std::string();
    plist_to_xml_free(xml);
    return out;
}

std::string binaryPropertyList(const Value& value) { return writeBinaryPropertyList(value); }

}  // namespace springboard
