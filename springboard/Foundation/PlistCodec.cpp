#include "PlistCodec.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

#include "BinaryPropertyListReader.h"
#include "BinaryPropertyListWriter.h"
#include "NSString.h"
#include "PlistNode.h"
#include "PlistShape.h"
#include "SharedStringArena.h"

namespace springboard {

namespace {

// libplist keeps an XML date as a double and an integer's width beside it,
// but its getters hand out dates as 32-bit seconds (wrapping anything past
// 1932..2069) and integers without their sign. Its binary writer keeps both
// whole: such a node takes a trip through it and our reader.
std::optional<Value> exactScalar(plist_t node) {
    PlistPtr copy(plist_copy(node));
    char* bytes = nullptr;
    std::uint32_t length = 0;
    plist_to_bin(copy.get(), &bytes, &length);
    if (!bytes) return std::nullopt;
    auto value = readBinaryPropertyList(std::string_view(bytes, length), fileDecodeBudget(length));
    std::free(bytes);
    return value;
}

// Every string of one document is made in one arena (see SharedStringArena).
std::optional<Dictionary> toDictionary(plist_t node, int depth, SharedStringArena& strings);

std::optional<Value> toValue(plist_t node, int depth, SharedStringArena& strings) {
    if (depth > kMaxPropertyListDepth) return std::nullopt;
    switch (plist_get_node_type(node)) {
        case PLIST_BOOLEAN: {
            std::uint8_t b = 0;
            plist_get_bool_val(node, &b);
            return Value(b != 0);
        }
        case PLIST_UINT: {
            std::uint64_t u = 0;
            plist_get_uint_val(node, &u);
            if (u <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
                return Value(static_cast<long long>(u));
            return exactScalar(node);  // negative, or unsigned above 2^63-1
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
            if (!s) return Value(SharedString());
            // Checked before the copy, so a refused string costs no allocation.
            const std::string_view text(s, static_cast<std::size_t>(length));
            if (text.find('\0') != std::string_view::npos || !isValidUTF8(text)) return std::nullopt;
            return Value(strings.make(text));
        }
        case PLIST_DATA: {
            std::uint64_t length = 0;
            const char* bytes = plist_get_data_ptr(node, &length);
            Data data;
            if (bytes) data.bytes.assign(bytes, bytes + length);
            return Value(std::move(data));
        }
        case PLIST_DATE: {
            // XML dates are whole seconds, and most fit the 32-bit getter:
            // a date made from what it hands out that libplist itself finds
            // equal (it compares the stored doubles) is the exact value,
            // without the binary writer's trip.
            std::int32_t seconds = 0, microseconds = 0;
            plist_get_date_val(node, &seconds, &microseconds);
            if (microseconds == 0) {
                PlistPtr candidate(plist_new_date(seconds, 0));
                if (plist_compare_node_value(node, candidate.get()))
                    return Value(Date{static_cast<double>(seconds)});
            }
            return exactScalar(node);
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
                auto element = item ? toValue(item, depth + 1, strings) : std::nullopt;
                ok = element.has_value();
                if (ok) array.push_back(std::move(*element));
            }
            std::free(it);
            if (!ok) return std::nullopt;
            return Value(std::move(array));
        }
        case PLIST_DICT: {
            auto dictionary = toDictionary(node, depth, strings);
            if (!dictionary) return std::nullopt;
            return Value(std::move(*dictionary));
        }
        default:
            // UIDs (keyed-archiver references) and anything newer have no
            // counterpart among property-list objects.
            return std::nullopt;
    }
}

// Converts every entry of dictionary `node` and hands each one whose key is
// text to `take(key, value)`, in libplist's order; false as soon as a key or
// a value cannot be read.
template <typename Take>
bool forEachEntry(plist_t node, int depth, SharedStringArena& strings, Take take) {
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
        auto element = toValue(item, depth + 1, strings);
        ok = element.has_value();
        if (ok && key) {
            // libplist hands the bytes of XML keys and strings through as
            // they are; text that is no UTF-8 would be written back as a
            // list no reader accepts, so such a list is refused whole.
            const std::string_view name(key);
            ok = isValidUTF8(name);
            if (ok) take(name, std::move(*element));
        }
        std::free(key);
    }
    std::free(it);
    return ok;
}

std::optional<Dictionary> toDictionary(plist_t node, int depth, SharedStringArena& strings) {
    Dictionary dictionary;
    // Keys mostly come in order: the end hint makes each insert constant-time.
    const bool ok = forEachEntry(node, depth, strings, [&dictionary](std::string_view name, Value&& value) {
        dictionary.insert_or_assign(dictionary.end(), std::string(name), std::move(value));
    });
    if (!ok) return std::nullopt;
    return dictionary;
}

bool isBinary(const void* bytes, std::size_t length) {
    return length >= 8 && std::memcmp(bytes, "bplist", 6) == 0;
}

// `text` with each CR LF and each lone CR made a LF.
std::string withLineFeeds(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r') {
            out += text[i];
        } else {
            out += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        }
    }
    return out;
}

// libplist's tree of XML property-list bytes; null when they are none.
PlistPtr parseXmlRoot(const void* bytes, std::size_t length) {
    if (!bytes || length == 0 || length > std::numeric_limits<std::uint32_t>::max()) return nullptr;
    // XML allows no NUL byte, and libplist would hand one out inside a
    // string whose length disagrees with its text.
    if (std::memchr(bytes, 0, length) != nullptr) return nullptr;
    // libplist recurses once per nesting level: refuse what would exhaust the
    // stack before it gets to see it.
    if (!xmlPlistDepthIsWithin(std::string_view(static_cast<const char*>(bytes), length), kMaxPropertyListDepth))
        return nullptr;
    // libplist reads a number it cannot parse as 0, and "010" as octal.
    if (!xmlPlistNumbersAreWellFormed(std::string_view(static_cast<const char*>(bytes), length))) return nullptr;
    plist_t root = nullptr;
    const std::string_view text(static_cast<const char*>(bytes), length);
    if (text.find('\r') == std::string_view::npos) {
        plist_from_xml(text.data(), static_cast<std::uint32_t>(length), &root);
    } else {
        // An XML reader sees every line end as a line feed, and only "&#13;"
        // as a carriage return; libplist keeps them as they are.
        const std::string normalized = withLineFeeds(text);
        plist_from_xml(normalized.data(), static_cast<std::uint32_t>(normalized.size()), &root);
    }
    return PlistPtr(root);
}

}  // namespace

std::optional<Value> parsePropertyList(const void* bytes, std::size_t length) {
    if (bytes && isBinary(bytes, length))
        return readBinaryPropertyList(std::string_view(static_cast<const char*>(bytes), length),
                                      fileDecodeBudget(length));
    PlistPtr root = parseXmlRoot(bytes, length);
    if (!root) return std::nullopt;
    SharedStringArena strings(length);
    return toValue(root.get(), 1, strings);
}

std::optional<Dictionary> parsePropertyListDictionary(const void* bytes, std::size_t length) {
    if (bytes && isBinary(bytes, length))
        return readBinaryPropertyListDictionary(std::string_view(static_cast<const char*>(bytes), length),
                                                fileDecodeBudget(length));
    PlistPtr root = parseXmlRoot(bytes, length);
    if (!root || plist_get_node_type(root.get()) != PLIST_DICT) return std::nullopt;
    SharedStringArena strings(length);
    return toDictionary(root.get(), 1, strings);
}

std::optional<Value> parsePropertyListDictionaryEntry(const void* bytes, std::size_t length, std::string_view key) {
    if (bytes && isBinary(bytes, length))
        return readBinaryPropertyListDictionaryEntry(std::string_view(static_cast<const char*>(bytes), length),
                                                     fileDecodeBudget(length), key);
    PlistPtr root = parseXmlRoot(bytes, length);
    if (!root || plist_get_node_type(root.get()) != PLIST_DICT) return std::nullopt;
    SharedStringArena strings(length);
    // Every value is converted, so that one unreadable value anywhere reads
    // as no dictionary, but only the one asked for is kept; of a key given
    // twice, the last entry counts, as in a dictionary.
    Value found;
    const bool ok = forEachEntry(root.get(), 1, strings, [&](std::string_view name, Value&& value) {
        if (name == key) found = std::move(value);
    });
    if (!ok) return std::nullopt;
    return found;
}

bool mayHoldDictionary(const void* bytes, std::size_t length) {
    if (!bytes || length == 0) return false;
    const std::string_view text(static_cast<const char*>(bytes), length);
    if (text.substr(0, 6) == "bplist") {
        // A root that cannot be found (a damaged trailer) may be anything.
        const auto marker = binaryPropertyListRootMarker(text);
        return !marker || *marker >> 4 == 0xD;
    }
    if (text.substr(0, 2) == "\xFE\xFF" || text.substr(0, 2) == "\xFF\xFE") return true;  // UTF-16 text
    std::size_t at = text.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
    at = text.find_first_not_of(" \t\r\n", at);
    if (at == std::string_view::npos || text[at] != '<') return false;
    PlistPtr root = parseXmlRoot(bytes, length);
    return !root || plist_get_node_type(root.get()) == PLIST_DICT;
}

std::string binaryPropertyList(const Value& value) { return writeBinaryPropertyList(value); }
std::string binaryPropertyList(const Value& value, std::size_t room) { return writeBinaryPropertyList(value, room); }

}  // namespace springboard
