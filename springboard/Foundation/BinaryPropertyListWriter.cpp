#include "BinaryPropertyListWriter.h"

#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "PlistCodec.h"
#include "UTF8.h"

namespace springboard {

namespace {

// Every write below goes through a plain pointer into a buffer sized once,
// from a measured upper bound, so no write checks or grows the buffer.

char* putBigEndian(char* p, std::uint64_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i, value >>= 8) p[i] = static_cast<char>(value & 0xFF);
    return p + bytes;
}

// An integer object: 1, 2, 4 or 8 bytes; negative numbers take 8. At most 9.
char* putInteger(char* p, std::int64_t value) {
    const auto u = static_cast<std::uint64_t>(value);
    if (value >= 0 && u <= 0xFF) {
        *p++ = '\x10';
        return putBigEndian(p, u, 1);
    }
    if (value >= 0 && u <= 0xFFFF) {
        *p++ = '\x11';
        return putBigEndian(p, u, 2);
    }
    if (value >= 0 && u <= 0xFFFFFFFF) {
        *p++ = '\x12';
        return putBigEndian(p, u, 4);
    }
    *p++ = '\x13';
    return putBigEndian(p, u, 8);
}

// A marker with its count: in the low nibble, or 0xF and an integer after.
// At most 10 bytes.
char* putMarker(char* p, unsigned char type, std::size_t count) {
    if (count < 15) {
        *p++ = static_cast<char>(type | count);
        return p;
    }
    *p++ = static_cast<char>(type | 0x0F);
    return putInteger(p, static_cast<std::int64_t>(count));
}

char* putDouble(char* p, unsigned char marker, double value) {
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    *p++ = static_cast<char>(marker);
    return putBigEndian(p, bits, 8);
}

// The most bytes a string object takes: ASCII exactly (marker, count, text),
// otherwise two bytes for each byte of UTF-8 at most (no byte makes more
// than one unit; four make two) past room for the longest marker.
std::size_t stringBound(std::string_view text) {
    if (isAscii(text)) return text.size() + (text.size() < 15 ? 1 : 10);
    return 2 * text.size() + 10;
}

// A UTF-16 string object for `text`: each character goes straight to the
// output as big-endian units (bytes that are no UTF-8 become U+FFFD one by
// one). The units are written past room for the longest marker, which can
// only be made once they are counted, then moved down behind it.
char* putUTF16String(char* p, std::string_view text) {
    constexpr std::size_t kMarkerRoom = 10;
    char* const units = p + kMarkerRoom;
    char* q = units;
    auto put = [&q](char32_t unit) {
        q[0] = static_cast<char>(unit >> 8);
        q[1] = static_cast<char>(unit & 0xFF);
        q += 2;
    };
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x80) {  // the ASCII among accented letters
            put(byte);
            ++i;
            continue;
        }
        char32_t code = 0xFFFD;
        if (auto decoded = decodeUTF8(text, i)) code = *decoded;
        else ++i;
        if (code >= 0x10000) {
            code -= 0x10000;
            put(0xD800 + (code >> 10));
            put(0xDC00 + (code & 0x3FF));
        } else {
            put(code);
        }
    }
    const auto bytes = static_cast<std::size_t>(q - units);
    char* const end = putMarker(p, 0x60, bytes / 2);
    std::memmove(end, units, bytes);
    return end + bytes;
}

char* putString(char* p, std::string_view text) {
    if (!isAscii(text)) return putUTF16String(p, text);
    p = putMarker(p, 0x50, text.size());
    std::memcpy(p, text.data(), text.size());
    return p + text.size();
}

// How many objects `value` makes, and the most bytes they can take.
struct Extent {
    std::size_t objects = 0;
    std::size_t bytes = 0;
};

// References are at most 4 bytes wide (see Writer::refSize_).
constexpr std::size_t kMaxRefSize = 4;

// False when `value`, at level `depth`, nests deeper than a reader takes.
bool measure(const Value& value, Extent& extent, int depth) {
    if (depth > kMaxPropertyListDepth) return false;
    ++extent.objects;
    if (const auto text = value.asString()) {
        extent.bytes += stringBound(*text);
    } else if (const Array* array = value.asArray()) {
        extent.bytes += 10 + array->size() * kMaxRefSize;
        for (const Value& element : *array) {
            if (const auto member = element.asString()) {  // a title: no call
                if (depth >= kMaxPropertyListDepth) return false;
                ++extent.objects;
                extent.bytes += stringBound(*member);
            } else if (!element.isNil() && !measure(element, extent, depth + 1)) {
                return false;
            }
        }
    } else if (const Dictionary* dictionary = value.asDictionary()) {
        extent.bytes += 10 + dictionary->size() * 2 * kMaxRefSize;
        for (const auto& [key, element] : *dictionary) {
            if (element.isNil()) continue;
            ++extent.objects;
            extent.bytes += stringBound(key);
            if (!measure(element, extent, depth + 1)) return false;
        }
    } else if (const Data* data = value.asData()) {
        extent.bytes += data->bytes.size() + 10;
    } else {
        extent.bytes += 17;  // a 16-byte integer and its marker at most
    }
    return true;
}

// Objects go straight into one buffer, each where its bytes are complete
// (a container after its members); the offset table says where each is, so
// the file order need not follow the object numbering.
class Writer {
public:
    Writer(const Extent& extent, std::size_t room)
        : refSize_(extent.objects <= 0xFF ? 1 : extent.objects <= 0xFFFF ? 2 : 4), offsets_(extent.objects) {
        refs_.reserve(extent.objects);
        // Header, objects, an offset table of at most 8 bytes an object,
        // and the trailer.
        out_.resize(room + kHeader.size() + extent.bytes + extent.objects * 8 + kTrailerSize);
        base_ = out_.data() + room;
        std::memcpy(base_, kHeader.data(), kHeader.size());
        p_ = base_ + kHeader.size();
    }

    // Writes `value` (and everything in it) as objects; returns its index.
    std::size_t add(const Value& value) {
        const std::size_t index = next_++;
        switch (value.kind()) {
            case Value::Kind::nil: break;  // never reached: callers skip nil
            case Value::Kind::boolean:
                mark(index);
                *p_++ = *value.asBoolean() ? '\x09' : '\x08';
                break;
            case Value::Kind::integer:
                mark(index);
                if (auto i = value.asInteger()) {
                    p_ = putInteger(p_, *i);
                } else {
                    // Above 2^63-1: a 16-byte signed integer, as plistlib writes it.
                    *p_++ = '\x14';
                    p_ = putBigEndian(p_, 0, 8);
                    p_ = putBigEndian(p_, *value.asUnsignedInteger(), 8);
                }
                break;
            case Value::Kind::real:
                mark(index);
                p_ = putDouble(p_, 0x23, *value.asReal());
                break;
            case Value::Kind::date:
                mark(index);
                p_ = putDouble(p_, 0x33, value.asDate()->secondsSinceReferenceDate);
                break;
            case Value::Kind::string:
                mark(index);
                p_ = putString(p_, *value.asString());
                break;
            case Value::Kind::data: {
                const auto& data = value.asData()->bytes;
                mark(index);
                p_ = putMarker(p_, 0x40, data.size());
                if (!data.empty()) std::memcpy(p_, data.data(), data.size());
                p_ += data.size();
                break;
            }
            case Value::Kind::array: {
                // The members' references wait on a stack shared by every
                // container, so no container allocates for its own.
                const std::size_t first = refs_.size();
                for (const Value& element : *value.asArray()) {
                    if (const auto member = element.asString()) {  // a title: no call
                        const std::size_t memberIndex = next_++;
                        mark(memberIndex);
                        p_ = putString(p_, *member);
                        refs_.push_back(memberIndex);
                    } else if (!element.isNil()) {
                        refs_.push_back(add(element));
                    }
                }
                mark(index);
                p_ = putMarker(p_, 0xA0, refs_.size() - first);
                putRefs(first, refs_.size());
                refs_.resize(first);
                break;
            }
            case Value::Kind::dictionary: {
                // Keys and values alternate on the stack; keys are written first.
                const std::size_t first = refs_.size();
                for (const auto& [key, element] : *value.asDictionary()) {
                    if (element.isNil()) continue;
                    refs_.push_back(addKey(key));
                    refs_.push_back(add(element));
                }
                mark(index);
                p_ = putMarker(p_, 0xD0, (refs_.size() - first) / 2);
                for (std::size_t i = first; i < refs_.size(); i += 2) p_ = putBigEndian(p_, refs_[i], refSize_);
                for (std::size_t i = first + 1; i < refs_.size(); i += 2) p_ = putBigEndian(p_, refs_[i], refSize_);
                refs_.resize(first);
                break;
            }
        }
        return index;
    }

    std::string finish() && {
        const auto tableOffset = static_cast<std::uint64_t>(p_ - base_);
        const int offsetSize = tableOffset <= 0xFF ? 1 : tableOffset <= 0xFFFF ? 2 : tableOffset <= 0xFFFFFFFF ? 4 : 8;
        for (const std::uint64_t offset : offsets_) p_ = putBigEndian(p_, offset, offsetSize);
        std::memset(p_, 0, 6);
        p_ += 6;
        *p_++ = static_cast<char>(offsetSize);
        *p_++ = static_cast<char>(refSize_);
        p_ = putBigEndian(p_, offsets_.size(), 8);
        p_ = putBigEndian(p_, 0, 8);  // the root is object 0
        p_ = putBigEndian(p_, tableOffset, 8);
        out_.resize(static_cast<std::size_t>(p_ - out_.data()));
        return std::move(out_);
    }

private:
    static constexpr std::string_view kHeader = "bplist00";
    static constexpr std::size_t kTrailerSize = 32;

    void mark(std::size_t index) { offsets_[index] = static_cast<std::uint64_t>(p_ - base_); }

    void putRefs(std::size_t from, std::size_t to) {
        for (std::size_t i = from; i < to; ++i) p_ = putBigEndian(p_, refs_[i], refSize_);
    }

    std::size_t addKey(const std::string& key) {
        const std::size_t index = next_++;
        mark(index);
        p_ = putString(p_, key);
        return index;
    }

    const int refSize_;
    std::vector<std::uint64_t> offsets_;
    std::vector<std::size_t> refs_;
    std::size_t next_ = 0;
    std::string out_;
    char* base_ = nullptr;  // where the property list starts, past the caller's room
    char* p_ = nullptr;     // where the next byte goes
};

}  // namespace

std::string writeBinaryPropertyList(const Value& value, std::size_t room) {
    if (value.isNil()) return std::string(room, '\0');
    Extent extent;
    if (!measure(value, extent, 1)) return std::string(room, '\0');
    Writer writer(extent, room);
    writer.add(value);
    return std::move(writer).finish();
}

}  // namespace springboard
