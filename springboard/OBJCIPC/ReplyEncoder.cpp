#include "ReplyEncoder.h"

#include <cstdint>
#include <cstring>
#include <vector>

#include "Frame.h"
#include "UTF8.h"

namespace objcipc {

namespace {

char* putBigEndian(char* p, std::uint64_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i, value >>= 8) p[i] = static_cast<char>(value & 0xFF);
    return p + bytes;
}

// 1, 2, 4 or 8 bytes after the marker; negative numbers take 8.
char* putInteger(char* p, std::int64_t value) {
    const auto u = static_cast<std::uint64_t>(value);
    const int size = value < 0 || u > 0xFFFFFFFF ? 8 : u > 0xFFFF ? 4 : u > 0xFF ? 2 : 1;
    *p++ = static_cast<char>(0x10 | (size == 1 ? 0 : size == 2 ? 1 : size == 4 ? 2 : 3));
    return putBigEndian(p, u, size);
}

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

// ASCII as it is; anything else as UTF-16 units written past room for the
// longest marker, then moved behind the marker once counted. Bytes that are
// no UTF-8 become U+FFFD, as the property-list writer makes them.
char* putString(char* p, std::string_view text) {
    if (springboard::isAscii(text)) {
        p = putMarker(p, 0x50, text.size());
        std::memcpy(p, text.data(), text.size());
        return p + text.size();
    }
    constexpr std::size_t kMarkerRoom = 10;
    char* const units = p + kMarkerRoom;
    char* q = units;
    auto put = [&q](char32_t unit) {
        q[0] = static_cast<char>(unit >> 8);
        q[1] = static_cast<char>(unit & 0xFF);
        q += 2;
    };
    for (std::size_t i = 0; i < text.size();) {
        char32_t code = 0xFFFD;
        if (auto decoded = springboard::decodeUTF8(text, i)) code = *decoded;
        else ++i;
        if (code >= 0x10000) {
            put(0xD800 + ((code - 0x10000) >> 10));
            put(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            put(code);
        }
    }
    const auto bytes = static_cast<std::size_t>(q - units);
    char* const end = putMarker(p, 0x60, bytes / 2);
    std::memmove(end, units, bytes);
    return end + bytes;
}

// The most a string object takes, whatever its bytes: each byte makes at
// most one UTF-16 unit (four make two), behind a marker of at most 10.
std::size_t stringBound(std::size_t size) { return 2 * size + 10; }

struct Extent {
    std::size_t objects = 0;
    std::size_t bytes = 0;
};

constexpr std::size_t kMaxRefSize = 4;

void measure(const Value& value, Extent& extent);

void measureDictionary(const Dictionary& dictionary, Extent& extent) {
    ++extent.objects;
    extent.bytes += 10 + dictionary.size() * 2 * kMaxRefSize;
    for (const auto& [key, element] : dictionary) {
        if (element.isNil()) continue;
        ++extent.objects;
        extent.bytes += stringBound(key.size());
        measure(element, extent);
    }
}

void measure(const Value& value, Extent& extent) {
    if (const auto text = value.asString()) {
        ++extent.objects;
        extent.bytes += stringBound(text->size());
    } else if (const Array* array = value.asArray()) {
        ++extent.objects;
        extent.bytes += 10 + array->size() * kMaxRefSize;
        for (const Value& element : *array) {
            if (const auto member = element.asString()) {  // a title: no call
                ++extent.objects;
                extent.bytes += stringBound(member->size());
            } else if (!element.isNil()) {
                measure(element, extent);
            }
        }
    } else if (const Dictionary* dictionary = value.asDictionary()) {
        measureDictionary(*dictionary, extent);
    } else if (const Data* data = value.asData()) {
        ++extent.objects;
        extent.bytes += data->bytes.size() + 10;
    } else {
        ++extent.objects;
        extent.bytes += 17;  // a 16-byte integer and its marker at most
    }
}

// Objects in one buffer, each once its bytes are complete (a container
// after its members); the offset table says where each is.
class Writer {
public:
    Writer(const Extent& extent, std::size_t room)
        : refSize_(extent.objects <= 0xFF ? 1 : extent.objects <= 0xFFFF ? 2 : 4), offsets_(extent.objects) {
        refs_.reserve(extent.objects);
        frame_.size = room + kHeader.size() + extent.bytes + extent.objects * 8 + kTrailerSize;
        frame_.bytes = std::make_unique_for_overwrite<char[]>(frame_.size);
        base_ = frame_.bytes.get() + room;
        std::memcpy(base_, kHeader.data(), kHeader.size());
        p_ = base_ + kHeader.size();
    }

    std::size_t add(const Value& value) {
        switch (value.kind()) {
            case Value::Kind::nil: return next_++;  // never reached: callers skip nil
            case Value::Kind::boolean: {
                const std::size_t index = mark();
                *p_++ = *value.asBoolean() ? '\x09' : '\x08';
                return index;
            }
            case Value::Kind::integer: {
                const std::size_t index = mark();
                if (auto i = value.asInteger()) {
                    p_ = putInteger(p_, *i);
                } else {
                    *p_++ = '\x14';  // above 2^63-1: 16 bytes, as plistlib writes it
                    p_ = putBigEndian(p_, 0, 8);
                    p_ = putBigEndian(p_, *value.asUnsignedInteger(), 8);
                }
                return index;
            }
            case Value::Kind::real: {
                const std::size_t index = mark();
                p_ = putDouble(p_, 0x23, *value.asReal());
                return index;
            }
            case Value::Kind::date: {
                const std::size_t index = mark();
                p_ = putDouble(p_, 0x33, value.asDate()->secondsSinceReferenceDate);
                return index;
            }
            case Value::Kind::string: return addString(*value.asString());
            case Value::Kind::data: {
                const auto& data = value.asData()->bytes;
                const std::size_t index = mark();
                p_ = putMarker(p_, 0x40, data.size());
                if (!data.empty()) std::memcpy(p_, data.data(), data.size());
                p_ += data.size();
                return index;
            }
            case Value::Kind::array: {
                const std::size_t index = next_++;
                const std::size_t first = refs_.size();
                for (const Value& element : *value.asArray()) {
                    if (const auto member = element.asString()) {
                        refs_.push_back(addString(*member));
                    } else if (!element.isNil()) {
                        refs_.push_back(add(element));
                    }
                }
                offsets_[index] = static_cast<std::uint64_t>(p_ - base_);
                p_ = putMarker(p_, 0xA0, refs_.size() - first);
                for (std::size_t i = first; i < refs_.size(); ++i) p_ = putBigEndian(p_, refs_[i], refSize_);
                refs_.resize(first);
                return index;
            }
            case Value::Kind::dictionary: return addDictionary(*value.asDictionary());
        }
        return next_++;
    }

    // A dictionary of (key, value) pairs; `Pairs` iterates as a map does.
    template <class Pairs>
    std::size_t addDictionary(const Pairs& pairs) {
        const std::size_t index = next_++;
        const std::size_t first = refs_.size();
        for (const auto& [key, element] : pairs) {
            if (element.isNil()) continue;
            refs_.push_back(addString(key));
            refs_.push_back(add(element));
        }
        offsets_[index] = static_cast<std::uint64_t>(p_ - base_);
        p_ = putMarker(p_, 0xD0, (refs_.size() - first) / 2);
        for (std::size_t i = first; i < refs_.size(); i += 2) p_ = putBigEndian(p_, refs_[i], refSize_);
        for (std::size_t i = first + 1; i < refs_.size(); i += 2) p_ = putBigEndian(p_, refs_[i], refSize_);
        refs_.resize(first);
        return index;
    }

    // A dictionary of one key and value, both written already.
    std::size_t addPair(std::size_t key, std::size_t value) {
        const std::size_t index = mark();
        p_ = putMarker(p_, 0xD0, 1);
        p_ = putBigEndian(p_, key, refSize_);
        p_ = putBigEndian(p_, value, refSize_);
        return index;
    }

    std::size_t addString(std::string_view text) {
        const std::size_t index = mark();
        p_ = putString(p_, text);
        return index;
    }

    // The object numbered `root` is the top; `room` bytes before the
    // property list get the frame header.
    EncodedFrame finish(std::size_t root, std::size_t room) && {
        const auto tableOffset = static_cast<std::uint64_t>(p_ - base_);
        const int offsetSize = tableOffset <= 0xFF ? 1 : tableOffset <= 0xFFFF ? 2 : tableOffset <= 0xFFFFFFFF ? 4 : 8;
        for (std::size_t i = 0; i < next_; ++i) p_ = putBigEndian(p_, offsets_[i], offsetSize);
        std::memset(p_, 0, 6);
        p_ += 6;
        *p_++ = static_cast<char>(offsetSize);
        *p_++ = static_cast<char>(refSize_);
        p_ = putBigEndian(p_, next_, 8);
        p_ = putBigEndian(p_, root, 8);
        p_ = putBigEndian(p_, tableOffset, 8);
        frame_.size = static_cast<std::size_t>(p_ - frame_.bytes.get());
        putBigEndian(frame_.bytes.get(), frame_.size - room, static_cast<int>(room));
        return std::move(frame_);
    }

private:
    static constexpr std::string_view kHeader = "bplist00";
    static constexpr std::size_t kTrailerSize = 32;

    std::size_t mark() {
        offsets_[next_] = static_cast<std::uint64_t>(p_ - base_);
        return next_++;
    }

    const int refSize_;
    std::vector<std::uint64_t> offsets_;
    std::vector<std::size_t> refs_;
    std::size_t next_ = 0;
    EncodedFrame frame_;
    char* base_ = nullptr;
    char* p_ = nullptr;
};

}  // namespace

EncodedFrame encodeReplyFrame(const Dictionary* reply, const std::string& error) {
    Extent extent;
    extent.objects = 2;  // the top dictionary and its one key
    extent.bytes = 10 + 2 * kMaxRefSize + stringBound(5);
    if (reply) {
        measureDictionary(*reply, extent);
    } else {
        ++extent.objects;
        extent.bytes += stringBound(error.size());
    }
    Writer writer(extent, kFrameHeaderSize);
    // The top is written last, as every container is; its number is the
    // last one.
    std::size_t member;
    std::size_t key;
    if (reply) {
        key = writer.addString("reply");
        member = writer.addDictionary(*reply);
    } else {
        key = writer.addString("error");
        member = writer.addString(error);
    }
    const std::size_t root = writer.addPair(key, member);
    return std::move(writer).finish(root, kFrameHeaderSize);
}

}  // namespace objcipc
