#include "BinaryPropertyListWriter.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string_view>
#include <vector>

#include "UTF8.h"

namespace springboard {

namespace {

void appendBigEndian(std::string& out, std::uint64_t value, int bytes) {
    for (int shift = (bytes - 1) * 8; shift >= 0; shift -= 8) out.push_back(static_cast<char>((value >> shift) & 0xFF));
}

// A run of references (or offsets), each `bytes` wide, written in place.
template <typename Numbers>
void appendBigEndianRun(std::string& out, const Numbers& numbers, int bytes) {
    const std::size_t at = out.size();
    out.resize(at + numbers.size() * static_cast<std::size_t>(bytes));
    char* p = out.data() + at;
    for (std::uint64_t value : numbers) {
        for (int i = bytes - 1; i >= 0; --i, value >>= 8) p[i] = static_cast<char>(value & 0xFF);
        p += bytes;
    }
}

// An integer object: 1, 2, 4 or 8 bytes; negative numbers take 8.
void appendInteger(std::string& out, std::int64_t value) {
    const auto u = static_cast<std::uint64_t>(value);
    if (value >= 0 && u <= 0xFF) {
        out.push_back('\x10');
        appendBigEndian(out, u, 1);
    } else if (value >= 0 && u <= 0xFFFF) {
        out.push_back('\x11');
        appendBigEndian(out, u, 2);
    } else if (value >= 0 && u <= 0xFFFFFFFF) {
        out.push_back('\x12');
        appendBigEndian(out, u, 4);
    } else {
        out.push_back('\x13');
        appendBigEndian(out, u, 8);
    }
}

// A marker with its count: in the low nibble, or 0xF and an integer after.
void appendMarker(std::string& out, unsigned char type, std::size_t count) {
    if (count < 15) {
        out.push_back(static_cast<char>(type | count));
    } else {
        out.push_back(static_cast<char>(type | 0x0F));
        appendInteger(out, static_cast<std::int64_t>(count));
    }
}

void appendDouble(std::string& out, unsigned char marker, double value) {
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    out.push_back(static_cast<char>(marker));
    appendBigEndian(out, bits, 8);
}

// UTF-8 to UTF-16 code units at `units`, which has room for text.size()
// of them (no byte makes more than one unit; four make two); malformed
// bytes become U+FFFD one by one. Returns how many were written.
std::size_t utf16(const std::string& text, std::uint16_t* units) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < text.size();) {
        char32_t code = 0xFFFD;
        if (auto decoded = decodeUTF8(text, i)) code = *decoded;
        else ++i;
        if (code >= 0x10000) {
            code -= 0x10000;
            units[n++] = static_cast<std::uint16_t>(0xD800 + (code >> 10));
            units[n++] = static_cast<std::uint16_t>(0xDC00 + (code & 0x3FF));
        } else {
            units[n++] = static_cast<std::uint16_t>(code);
        }
    }
    return n;
}

// Eight bytes at a time: list titles are mostly short ASCII.
bool isAscii(const std::string& text) {
    const char* p = text.data();
    std::size_t n = text.size();
    for (; n >= 8; p += 8, n -= 8) {
        std::uint64_t word;
        std::memcpy(&word, p, sizeof word);
        if (word & 0x8080808080808080ULL) return false;
    }
    for (; n > 0; ++p, --n)
        if (static_cast<unsigned char>(*p) >= 0x80) return false;
    return true;
}

void appendString(std::string& out, const std::string& text) {
    if (isAscii(text)) {
        if (text.size() < 15) {
            // Marker and text in one step: most titles are this short.
            const std::size_t at = out.size();
            out.resize(at + 1 + text.size());
            out[at] = static_cast<char>(0x50 | text.size());
            std::memcpy(out.data() + at + 1, text.data(), text.size());
            return;
        }
        appendMarker(out, 0x50, text.size());
        out += text;
        return;
    }
    // Titles fit on the stack; only a long text takes a heap buffer.
    std::uint16_t small[256];
    std::vector<std::uint16_t> large;
    std::uint16_t* units = small;
    if (text.size() > std::size(small)) {
        large.resize(text.size());
        units = large.data();
    }
    const std::size_t count = utf16(text, units);
    appendMarker(out, 0x60, count);
    const std::size_t at = out.size();
    out.resize(at + 2 * count);  // one resize, not two push_backs a unit
    char* p = out.data() + at;
    for (std::size_t i = 0; i < count; ++i) {
        *p++ = static_cast<char>(units[i] >> 8);
        *p++ = static_cast<char>(units[i] & 0xFF);
    }
}

// How many objects `value` makes, and about how many bytes they take (ASCII
// strings exactly; UTF-16 ones may take more), so the buffer is reserved
// once instead of growing and copying itself near the end.
struct Extent {
    std::size_t objects = 0;
    std::size_t bytes = 0;
};

void measure(const Value& value, Extent& extent) {
    ++extent.objects;
    if (const std::string* text = value.asString()) {
        extent.bytes += text->size() + (text->size() < 15 ? 1 : 10);
    } else if (const Array* array = value.asArray()) {
        extent.bytes += 10 + array->size() * 4;
        for (const Value& element : *array)
            if (!element.isNil()) measure(element, extent);
    } else if (const Dictionary* dictionary = value.asDictionary()) {
        extent.bytes += 10 + dictionary->size() * 8;
        for (const auto& [key, element] : *dictionary) {
            if (element.isNil()) continue;
            ++extent.objects;
            extent.bytes += key.size() + 10;
            measure(element, extent);
        }
    } else if (const Data* data = value.asData()) {
        extent.bytes += data->bytes.size() + 10;
    } else {
        extent.bytes += 17;
    }
}

// Objects go straight into one buffer, each where its bytes are complete
// (a container after its members); the offset table says where each is, so
// the file order need not follow the object numbering.
class Writer {
public:
    Writer(const Extent& extent, std::size_t room)
        : refSize_(extent.objects <= 0xFF ? 1 : extent.objects <= 0xFFFF ? 2 : 4), offsets_(extent.objects),
          base_(room) {
        // The offset table takes at most 8 bytes an object.
        out_.reserve(room + kHeader.size() + extent.bytes + extent.objects * 8 + 32);
        out_.resize(room);
        out_.append(kHeader);
    }

    // Writes `value` (and everything in it) as objects; returns its index.
    std::size_t add(const Value& value) {
        const std::size_t index = next_++;
        switch (value.kind()) {
            case Value::Kind::nil: break;  // never reached: callers skip nil
            case Value::Kind::boolean:
                offsets_[index] = out_.size() - base_;
                out_.push_back(*value.asBoolean() ? '\x09' : '\x08');
                break;
            case Value::Kind::integer:
                offsets_[index] = out_.size() - base_;
                if (auto i = value.asInteger()) {
                    appendInteger(out_, *i);
                } else {
                    // Above 2^63-1: a 16-byte signed integer, as plistlib writes it.
                    out_.push_back('\x14');
                    appendBigEndian(out_, 0, 8);
                    appendBigEndian(out_, *value.asUnsignedInteger(), 8);
                }
                break;
            case Value::Kind::real:
                offsets_[index] = out_.size() - base_;
                appendDouble(out_, 0x23, *value.asReal());
                break;
            case Value::Kind::date:
                offsets_[index] = out_.size() - base_;
                appendDouble(out_, 0x33, value.asDate()->secondsSinceReferenceDate);
                break;
            case Value::Kind::string:
                offsets_[index] = out_.size() - base_;
                appendString(out_, *value.asString());
                break;
            case Value::Kind::data: {
                const auto& data = value.asData()->bytes;
                offsets_[index] = out_.size() - base_;
                appendMarker(out_, 0x40, data.size());
                out_.append(data.begin(), data.end());
                break;
            }
            case Value::Kind::array: {
                std::vector<std::size_t> refs;
                refs.reserve(value.asArray()->size());
                for (const Value& element : *value.asArray())
                    if (!element.isNil()) refs.push_back(add(element));
                offsets_[index] = out_.size() - base_;
                appendMarker(out_, 0xA0, refs.size());
                appendBigEndianRun(out_, refs, refSize_);
                break;
            }
            case Value::Kind::dictionary: {
                std::vector<std::size_t> keys, values;
                for (const auto& [key, element] : *value.asDictionary()) {
                    if (element.isNil()) continue;
                    keys.push_back(addKey(key));
                    values.push_back(add(element));
                }
                offsets_[index] = out_.size() - base_;
                appendMarker(out_, 0xD0, keys.size());
                appendBigEndianRun(out_, keys, refSize_);
                appendBigEndianRun(out_, values, refSize_);
                break;
            }
        }
        return index;
    }

    std::string finish() && {
        const std::uint64_t tableOffset = out_.size() - base_;
        const int offsetSize = tableOffset <= 0xFF ? 1 : tableOffset <= 0xFFFF ? 2 : tableOffset <= 0xFFFFFFFF ? 4 : 8;
        appendBigEndianRun(out_, offsets_, offsetSize);
        out_.append(6, '\0');
        out_.push_back(static_cast<char>(offsetSize));
        out_.push_back(static_cast<char>(refSize_));
        appendBigEndian(out_, offsets_.size(), 8);
        appendBigEndian(out_, 0, 8);  // the root is object 0
        appendBigEndian(out_, tableOffset, 8);
        return std::move(out_);
    }

private:
    static constexpr std::string_view kHeader = "bplist00";

    std::size_t addKey(const std::string& key) {
        const std::size_t index = next_++;
        offsets_[index] = out_.size() - base_;
        appendString(out_, key);
        return index;
    }

    const int refSize_;
    std::vector<std::uint64_t> offsets_;
    const std::size_t base_;  // bytes in front of the property list, left to the caller
    std::size_t next_ = 0;
    std::string out_;
};

}  // namespace

std::string writeBinaryPropertyList(const Value& value, std::size_t room) {
    if (value.isNil()) return std::string(room, '\0');
    Extent extent;
    measure(value, extent);
    Writer writer(extent, room);
    writer.add(value);
    return std::move(writer).finish();
}

}  // namespace springboard
