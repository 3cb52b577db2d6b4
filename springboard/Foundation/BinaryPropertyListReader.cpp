#include "BinaryPropertyListReader.h"

#include <cstdint>
#include <cstring>
#include <new>
#include <stdexcept>
#include <vector>

#include "NSString.h"
#include "PlistCodec.h"
#include "SharedStringArena.h"
#include "UTF8.h"

namespace springboard {

namespace {

constexpr std::size_t kHeaderSize = 8;  // "bplist00"
constexpr std::size_t kTrailerSize = 32;

// What one decoded value costs beyond what its parent already paid for it:
// the heap blocks of a container, or a dictionary key's text once it leaves
// the small-string buffer of its std::string.
constexpr std::size_t kContainerBlock = 64;
constexpr std::size_t kDictionaryEntry = sizeof(std::pair<const std::string, Value>) + 32;
constexpr std::size_t kSmallKey = 15;
// A string slot whose string was checked and paid for but not built.
constexpr std::uint32_t kCheckedOnly = 0xFFFFFFFF;
// A string slot whose string is a view of the received bytes: another view
// is as good as a copy of the first, and costs no reference count.
constexpr std::uint32_t kViewOfSource = 0xFFFFFFFE;

class Reader {
public:
    Reader(std::string_view bytes, std::size_t budget, SharedBytes* source = nullptr)
        : data_(reinterpret_cast<const unsigned char*>(bytes.data())),
          size_(bytes.size()),
          budget_(budget),
          source_(source),
          viewable_(source && source->holds(bytes.data(), bytes.size())) {}

    // Reads the trailer; false when the container is malformed.
    bool open() {
        if (size_ < kHeaderSize + kTrailerSize || std::memcmp(data_, "bplist00", kHeaderSize) != 0) return false;
        const std::size_t t = size_ - kTrailerSize;
        offsetSize_ = data_[t + 6];
        refSize_ = data_[t + 7];
        objectCount_ = unsignedAt(t + 8, 8);
        topObject_ = unsignedAt(t + 16, 8);
        const std::uint64_t table = unsignedAt(t + 24, 8);
        if (offsetSize_ < 1 || offsetSize_ > 8 || refSize_ < 1 || refSize_ > 8) return false;
        if (objectCount_ == 0 || objectCount_ > size_ || topObject_ >= objectCount_) return false;
        if (table < kHeaderSize || table > t || objectCount_ * offsetSize_ > t - table) return false;
        tableAt_ = static_cast<std::size_t>(table);
        onPath_.assign(static_cast<std::size_t>(objectCount_), false);
        return true;
    }

    std::optional<Value> root() { return value(topObject_, 1); }

    std::optional<unsigned char> rootMarker() {
        Object object;
        if (!enter(topObject_, 1, object)) return std::nullopt;
        return object.marker;
    }

    std::optional<Dictionary> rootDictionary() {
        Object object;
        if (!enter(topObject_, 1, object) || object.marker >> 4 != 0xD) return std::nullopt;
        auto result = dictionary(object, 1);
        onPath_[static_cast<std::size_t>(topObject_)] = false;
        return result;
    }

    // The entry `wanted` of rootDictionary(), nil when it has none. Every
    // other key and value is checked and charged as rootDictionary() would
    // check and charge it, but nothing of it is built.
    std::optional<Value> rootDictionaryEntry(std::string_view wanted) {
        Object object;
        if (!enter(topObject_, 1, object) || object.marker >> 4 != 0xD) return std::nullopt;
        auto result = dictionaryEntry(object, wanted);
        onPath_[static_cast<std::size_t>(topObject_)] = false;
        return result;
    }

private:
    // An object's marker and, for those that have one, its count and where
    // its content starts.
    struct Object {
        std::uint64_t index = 0;
        unsigned char marker = 0;
        std::uint64_t count = 0;
        std::size_t at = 0;
    };

    std::uint64_t unsignedAt(std::size_t at, std::size_t width) const {
        // References and offsets are one, two or four bytes wide in any list
        // of a realistic size: those widths take one load each.
        const unsigned char* p = data_ + at;
        switch (width) {
            case 1: return p[0];
            case 2: return static_cast<std::uint64_t>(p[0]) << 8 | p[1];
            case 4: {
                std::uint32_t word;
                std::memcpy(&word, p, sizeof word);
                return __builtin_bswap32(word);
            }
            default: {
                std::uint64_t value = 0;
                for (std::size_t i = 0; i < width; ++i) value = (value << 8) | p[i];
                return value;
            }
        }
    }

    bool charge(std::size_t bytes) {
        if (bytes > budget_) return false;
        budget_ -= bytes;
        return true;
    }

    // Whether `length` bytes from `at` lie before the offset table.
    bool fits(std::size_t at, std::uint64_t length) const { return at <= tableAt_ && length <= tableAt_ - at; }

    // Locates object `index` at nesting level `depth`, counts it and, when it
    // is a container, marks it as being on the current path (for the cycle
    // check: only a container can refer back to itself).
    bool enter(std::uint64_t index, std::size_t depth, Object& object) {
        if (index >= objectCount_ || depth > kMaxPropertyListDepth || ++nodes_ > kMaxPropertyListNodes) return false;
        const std::uint64_t offset = unsignedAt(tableAt_ + static_cast<std::size_t>(index) * offsetSize_, offsetSize_);
        if (offset < kHeaderSize || offset >= tableAt_) return false;
        object.index = index;
        object.at = static_cast<std::size_t>(offset);
        object.marker = data_[object.at++];
        const unsigned type = object.marker >> 4;
        if (type == 0x4 || type == 0x5 || type == 0x6 || type == 0xA || type == 0xD) {
            object.count = object.marker & 0x0F;
            if (object.count == 0x0F) {
                // The count follows as an integer object of 1, 2, 4 or 8 bytes.
                if (!fits(object.at, 1) || data_[object.at] >> 4 != 0x1 || (data_[object.at] & 0x0F) > 3) return false;
                const std::size_t width = std::size_t{1} << (data_[object.at] & 0x0F);
                if (!fits(object.at + 1, width)) return false;
                object.count = unsignedAt(object.at + 1, width);
                object.at += 1 + width;
            }
            if (object.count > size_) return false;
        }
        if (type == 0xA || type == 0xD) {
            if (onPath_[static_cast<std::size_t>(index)]) return false;  // a cycle
            onPath_[static_cast<std::size_t>(index)] = true;
        }
        return true;
    }

    std::uint64_t ref(std::size_t at, std::uint64_t i) const {
        return unsignedAt(at + static_cast<std::size_t>(i) * refSize_, refSize_);
    }

    std::optional<Value> value(std::uint64_t index, std::size_t depth) {
        Object object;
        if (!enter(index, depth, object)) return std::nullopt;
        auto result = decode(object, depth);
        onPath_[static_cast<std::size_t>(index)] = false;
        return result;
    }

    std::optional<Value> decode(const Object& object, std::size_t depth) {
        const unsigned low = object.marker & 0x0F;
        switch (object.marker >> 4) {
            case 0x0:
                if (object.marker == 0x08 || object.marker == 0x09) return Value(object.marker == 0x09);
                return std::nullopt;  // null and fill bytes stand for no property-list object
            case 0x1: return integer(object.at, low);
            case 0x2: {
                if (low == 2 && fits(object.at, 4)) {
                    const auto bits = static_cast<std::uint32_t>(unsignedAt(object.at, 4));
                    float f;
                    std::memcpy(&f, &bits, sizeof f);
                    return Value(static_cast<double>(f));
                }
                if (low == 3 && fits(object.at, 8)) return Value(doubleAt(object.at));
                return std::nullopt;
            }
            case 0x3:
                if (object.marker != 0x33 || !fits(object.at, 8)) return std::nullopt;
                return Value(Date{doubleAt(object.at)});
            case 0x4: {
                if (!fits(object.at, object.count) || !charge(static_cast<std::size_t>(object.count))) return std::nullopt;
                Data data;
                data.bytes.assign(data_ + object.at, data_ + object.at + object.count);
                return Value(std::move(data));
            }
            case 0x5:
            case 0x6: {
                auto string = text(object);
                if (!string) return std::nullopt;
                return Value(std::move(*string));
            }
            case 0xA: {
                if (!fits(object.at, object.count * refSize_) ||
                    !charge(static_cast<std::size_t>(object.count) * sizeof(Value) + kContainerBlock))
                    return std::nullopt;
                Array array;
                array.reserve(static_cast<std::size_t>(object.count));
                for (std::uint64_t i = 0; i < object.count; ++i) {
                    Object member;
                    const std::uint64_t index = ref(object.at, i);
                    if (viewable_) {
                        const Viewed viewed = appendView(index, depth + 1, array);
                        if (viewed == Viewed::Appended) continue;
                        if (viewed == Viewed::Refused) return std::nullopt;
                    }
                    if (!enter(index, depth + 1, member)) return std::nullopt;
                    if (member.marker >> 4 == 0x5 || member.marker >> 4 == 0x6) {
                        // A list of titles is mostly this: the text goes
                        // straight into its element, under the same checks.
                        auto string = text(member);
                        if (!string) return std::nullopt;
                        array.emplace_back(std::move(*string));
                        continue;
                    }
                    auto element = decode(member, depth + 1);
                    onPath_[static_cast<std::size_t>(member.index)] = false;
                    if (!element) return std::nullopt;
                    array.push_back(std::move(*element));
                }
                return Value(std::move(array));
            }
            case 0xD: {
                auto entries = dictionary(object, depth);
                if (!entries) return std::nullopt;
                return Value(std::move(*entries));
            }
            default: return std::nullopt;  // UIDs, sets and unassigned markers
        }
    }

    enum class Viewed { Appended, Refused, NotAView };

    // What enter() and text() do for a non-empty 8-bit string of the
    // received bytes, appended to `array` as a view of them; the same
    // checks, the same charges, the same slot. A list of titles is a
    // thousand of these. NotAView, with nothing counted or charged, for any
    // other object: the general path takes it.
    Viewed appendView(std::uint64_t index, std::size_t depth, Array& array) {
        if (index >= objectCount_) return Viewed::NotAView;
        const std::uint64_t offset = unsignedAt(tableAt_ + static_cast<std::size_t>(index) * offsetSize_, offsetSize_);
        if (offset < kHeaderSize || offset >= tableAt_) return Viewed::NotAView;
        std::size_t at = static_cast<std::size_t>(offset);
        const unsigned char marker = data_[at++];
        std::uint64_t count = marker & 0x0F;
        if (marker >> 4 != 0x5) return Viewed::NotAView;
        if (count == 0x0F) {
            // A malformed count is the general path's to refuse.
            if (!fits(at, 1) || data_[at] >> 4 != 0x1 || (data_[at] & 0x0F) > 3) return Viewed::NotAView;
            const std::size_t width = std::size_t{1} << (data_[at] & 0x0F);
            if (!fits(at + 1, width)) return Viewed::NotAView;
            count = unsignedAt(at + 1, width);
            at += 1 + width;
        }
        if (count == 0 || count > size_) return Viewed::NotAView;
        if (depth > kMaxPropertyListDepth || ++nodes_ > kMaxPropertyListNodes) return Viewed::Refused;
        if (stringSlots_.empty()) {
            if (!charge(static_cast<std::size_t>(objectCount_) * sizeof(std::uint32_t))) return Viewed::Refused;
            stringSlots_.assign(static_cast<std::size_t>(objectCount_), 0);
        }
        std::uint32_t& slot = stringSlots_[static_cast<std::size_t>(index)];
        const char* text = reinterpret_cast<const char*>(data_ + at);
        if (slot == 0 || slot == kCheckedOnly) {
            const auto checked = asciiText(Object{index, marker, count, at});
            if (!checked) return Viewed::Refused;
            // A string the single-entry read checked is already paid for.
            if (slot == 0 && !(charge(static_cast<std::size_t>(count)) && charge(sizeof(SharedString))))
                return Viewed::Refused;
            slot = kViewOfSource;
        } else if (slot != kViewOfSource) {
            array.push_back(Value(strings_[slot - 1]));
            return Viewed::Appended;
        }
        array.emplace_back(source_->view(text, static_cast<std::size_t>(count)));
        return Viewed::Appended;
    }

    double doubleAt(std::size_t at) const {
        const std::uint64_t bits = unsignedAt(at, 8);
        double d;
        std::memcpy(&d, &bits, sizeof d);
        return d;
    }

    // Integers of 1, 2 and 4 bytes are unsigned, of 8 bytes signed; 16 bytes
    // are a signed 128-bit number, which must lie in -2^63 .. 2^64-1.
    std::optional<Value> integer(std::size_t at, unsigned low) {
        if (low > 4 || !fits(at, std::size_t{1} << low)) return std::nullopt;
        if (low < 3) return Value(static_cast<long long>(unsignedAt(at, std::size_t{1} << low)));
        if (low == 3) return Value(static_cast<long long>(unsignedAt(at, 8)));
        const std::uint64_t high = unsignedAt(at, 8), lowWord = unsignedAt(at + 8, 8);
        if (high == 0) return Value::unsignedInteger(lowWord);
        if (high == ~std::uint64_t{0} && (lowWord >> 63) != 0) return Value(static_cast<long long>(lowWord));
        return std::nullopt;
    }

    // The text of a 0x5 string object, checked.
    std::optional<std::string_view> asciiText(const Object& object) const {
        if (!fits(object.at, object.count)) return std::nullopt;
        const std::string_view text(reinterpret_cast<const char*>(data_ + object.at),
                                    static_cast<std::size_t>(object.count));
        if (!(isAscii(text) || isValidUTF8(text))) return std::nullopt;
        return text;
    }

    // The units of a 0x6 string object; absent when the object is no UTF-16
    // string. At most three bytes of UTF-8 each.
    std::optional<std::size_t> utf16Units(const Object& object) const {
        if (object.marker >> 4 != 0x6 || object.count > size_ / 2 || !fits(object.at, object.count * 2))
            return std::nullopt;
        return static_cast<std::size_t>(object.count);
    }

    // Converts the `units` UTF-16 units of `object` to UTF-8 at `out`, which
    // has room for three bytes each; returns the end of what it wrote, or
    // nullptr at a unit that is no character (an unpaired surrogate).
    char* putUTF16AsUTF8(const Object& object, std::size_t units, char* out) const {
        const unsigned char* in = data_ + object.at;
        for (std::size_t i = 0; i < units; ++i, in += 2) {
            char32_t code = static_cast<char32_t>(in[0]) << 8 | in[1];
            if (code < 0x80) {
                *out++ = static_cast<char>(code);
                continue;
            }
            if (code >= 0xDC00 && code <= 0xDFFF) return nullptr;
            if (code >= 0xD800 && code <= 0xDBFF) {
                if (i + 1 == units) return nullptr;
                ++i;
                in += 2;
                const char32_t trail = static_cast<char32_t>(in[0]) << 8 | in[1];
                if (trail < 0xDC00 || trail > 0xDFFF) return nullptr;
                code = 0x10000 + ((code - 0xD800) << 10) + (trail - 0xDC00);
            }
            out = putUTF8(out, code);
        }
        return out;
    }

    // A string value: its bytes go into the document's arena, so that a
    // list of titles makes a few allocations rather than one per title.
    // Writers store an equal string once and refer to it from every place
    // that holds it; each such place gets the one string decoded (sharing
    // its bytes, as a copied string does), so its bytes are paid for once.
    std::optional<SharedString> text(const Object& object) {
        if (stringSlots_.empty()) {
            if (!charge(static_cast<std::size_t>(objectCount_) * sizeof(std::uint32_t))) return std::nullopt;
            stringSlots_.assign(static_cast<std::size_t>(objectCount_), 0);
        }
        std::uint32_t& slot = stringSlots_[static_cast<std::size_t>(object.index)];
        if (slot == kViewOfSource) return decodeTextUncharged(object);
        if (slot != 0 && slot != kCheckedOnly) return strings_[slot - 1];
        // A string the single-entry read checked is already paid for.
        const bool paid = slot == kCheckedOnly;
        auto string = paid ? decodeTextUncharged(object) : decodeText(object);
        if (!string || (!paid && !charge(sizeof(SharedString)))) return std::nullopt;
        // A list of titles refers to each title once: keeping a counted copy
        // of every string for the few referred to again would cost two
        // reference counts a title. Views are simply made again.
        if (source_ && source_->holds(string->view().data(), string->size())) {
            slot = kViewOfSource;
            return string;
        }
        strings_.push_back(*string);
        slot = static_cast<std::uint32_t>(strings_.size());
        return string;
    }

    std::optional<SharedString> decodeTextUncharged(const Object& object) {
        const std::size_t saved = budget_;
        budget_ = static_cast<std::size_t>(-1);
        auto string = decodeText(object);
        budget_ = saved;
        return string;
    }

    std::optional<SharedString> decodeText(const Object& object) {
        if (object.marker >> 4 == 0x5) {
            const auto ascii = asciiText(object);
            if (!ascii || !charge(ascii->size())) return std::nullopt;
            if (source_ && source_->holds(ascii->data(), ascii->size()))
                return source_->view(ascii->data(), ascii->size());
            return arena_.make(*ascii);
        }
        const auto units = utf16Units(object);
        if (!units || !charge(*units * 3)) return std::nullopt;
        char* const begin = arena_.reserve(*units * 3);
        char* const end = putUTF16AsUTF8(object, *units, begin);
        if (end == nullptr) return std::nullopt;
        return arena_.commit(static_cast<std::size_t>(end - begin));
    }

    // A dictionary key, which is a string of its own: a copy for every
    // dictionary that holds it, and paid for as such.
    std::optional<std::string> key(const Object& object) {
        if (object.marker >> 4 == 0x5) {
            const auto ascii = asciiText(object);
            if (!ascii || (ascii->size() > kSmallKey && !charge(ascii->size() + 1))) return std::nullopt;
            return std::string(*ascii);
        }
        const auto units = utf16Units(object);
        if (!units || (*units * 3 > kSmallKey && !charge(*units * 3 + 1))) return std::nullopt;
        std::string name(*units * 3, '\0');
        char* const end = putUTF16AsUTF8(object, *units, name.data());
        if (end == nullptr) return std::nullopt;
        name.resize(static_cast<std::size_t>(end - name.data()));
        return name;
    }

    // Writes `code` at `out`; returns the end of what it wrote. A pair of
    // units makes four bytes, no more than the six it was sized for.
    static char* putUTF8(char* out, char32_t code) {
        if (code < 0x80) {
            *out++ = static_cast<char>(code);
        } else if (code < 0x800) {
            *out++ = static_cast<char>(0xC0 | (code >> 6));
            *out++ = static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            *out++ = static_cast<char>(0xE0 | (code >> 12));
            *out++ = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            *out++ = static_cast<char>(0x80 | (code & 0x3F));
        } else {
            *out++ = static_cast<char>(0xF0 | (code >> 18));
            *out++ = static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            *out++ = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            *out++ = static_cast<char>(0x80 | (code & 0x3F));
        }
        return out;
    }

    // A dictionary's key and value references lie in bounds, and its entries
    // are paid for: the one check the building, the checking and the
    // single-entry reads share, so that they refuse and charge alike.
    bool admitDictionary(const Object& object) {
        return object.count <= size_ / 2 && fits(object.at, object.count * 2 * refSize_) &&
               charge(static_cast<std::size_t>(object.count) * kDictionaryEntry + kContainerBlock);
    }
    // Where its value references start, after its key references.
    std::size_t dictionaryValuesAt(const Object& object) const {
        return object.at + static_cast<std::size_t>(object.count) * refSize_;
    }

    std::optional<Dictionary> dictionary(const Object& object, std::size_t depth) {
        if (!admitDictionary(object)) return std::nullopt;
        Dictionary entries;
        const std::size_t valuesAt = dictionaryValuesAt(object);
        for (std::uint64_t i = 0; i < object.count; ++i) {
            Object key;
            if (!enter(ref(object.at, i), depth + 1, key)) return std::nullopt;
            if (key.marker >> 4 != 0x5 && key.marker >> 4 != 0x6) return std::nullopt;
            auto name = this->key(key);
            if (!name) return std::nullopt;
            auto element = value(ref(valuesAt, i), depth + 1);
            if (!element) return std::nullopt;
            // Keys mostly come in order: the end hint makes each insert constant-time.
            entries.insert_or_assign(entries.end(), std::move(*name), std::move(*element));
        }
        return entries;
    }

    // --- Checking without building (rootDictionaryEntry) ---------------
    // Each of these refuses exactly what its building counterpart above
    // refuses, and charges the budget the same.

    std::optional<Value> dictionaryEntry(const Object& object, std::string_view wanted) {
        if (!admitDictionary(object)) return std::nullopt;
        Value found;
        const std::size_t valuesAt = dictionaryValuesAt(object);
        for (std::uint64_t i = 0; i < object.count; ++i) {
            Object key;
            if (!enter(ref(object.at, i), 2, key)) return std::nullopt;
            bool match = false;
            if (key.marker >> 4 == 0x5) {
                const auto name = asciiText(key);
                if (!name || (name->size() > kSmallKey && !charge(name->size() + 1))) return std::nullopt;
                match = *name == wanted;
            } else {
                const auto name = this->key(key);  // UTF-16, or no string: refused there
                if (!name) return std::nullopt;
                match = *name == wanted;
            }
            if (!match) {
                if (!check(ref(valuesAt, i), 2)) return std::nullopt;
                continue;
            }
            // Of a key given twice the last counts, as in the dictionary.
            auto element = value(ref(valuesAt, i), 2);
            if (!element) return std::nullopt;
            found = std::move(*element);
        }
        return found;
    }

    // What value(index, depth) would refuse.
    bool check(std::uint64_t index, std::size_t depth) {
        Object object;
        if (!enter(index, depth, object)) return false;
        const bool ok = checkObject(object, depth);
        onPath_[static_cast<std::size_t>(index)] = false;
        return ok;
    }

    bool checkObject(const Object& object, std::size_t depth) {
        switch (object.marker >> 4) {
            case 0x4: return fits(object.at, object.count) && charge(static_cast<std::size_t>(object.count));
            case 0x5:
            case 0x6: return checkText(object);
            case 0xA: {
                if (!fits(object.at, object.count * refSize_) ||
                    !charge(static_cast<std::size_t>(object.count) * sizeof(Value) + kContainerBlock))
                    return false;
                for (std::uint64_t i = 0; i < object.count; ++i) {
                    if (!check(ref(object.at, i), depth + 1)) return false;
                }
                return true;
            }
            case 0xD: {
                if (!admitDictionary(object)) return false;
                const std::size_t valuesAt = dictionaryValuesAt(object);
                for (std::uint64_t i = 0; i < object.count; ++i) {
                    Object key;
                    if (!enter(ref(object.at, i), depth + 1, key)) return false;
                    if (!checkKey(key)) return false;
                    if (!check(ref(valuesAt, i), depth + 1)) return false;
                }
                return true;
            }
            default: return decode(object, depth).has_value();  // a scalar builds nothing on the heap
        }
    }

    // What text() refuses and charges, without building the string: a string
    // shared by many places is paid for once, here as there.
    bool checkText(const Object& object) {
        if (stringSlots_.empty()) {
            if (!charge(static_cast<std::size_t>(objectCount_) * sizeof(std::uint32_t))) return false;
            stringSlots_.assign(static_cast<std::size_t>(objectCount_), 0);
        }
        std::uint32_t& slot = stringSlots_[static_cast<std::size_t>(object.index)];
        if (slot != 0) return true;
        if (object.marker >> 4 == 0x5) {
            const auto ascii = asciiText(object);
            if (!ascii || !charge(ascii->size())) return false;
        } else {
            const auto units = utf16Units(object);
            if (!units || !utf16IsText(object) || !charge(*units * 3)) return false;
        }
        if (!charge(sizeof(SharedString))) return false;
        slot = kCheckedOnly;
        return true;
    }

    // What key() refuses and charges.
    bool checkKey(const Object& object) {
        if (object.marker >> 4 == 0x5) {
            const auto ascii = asciiText(object);
            return ascii && (ascii->size() <= kSmallKey || charge(ascii->size() + 1));
        }
        if (object.marker >> 4 != 0x6) return false;
        const auto units = utf16Units(object);
        return units && utf16IsText(object) && (*units * 3 <= kSmallKey || charge(*units * 3 + 1));
    }

    // What text() refuses of a UTF-16 string: no such object, or a unit
    // that is no character (an unpaired surrogate).
    bool utf16IsText(const Object& object) {
        const auto units = utf16Units(object);
        if (!units) return false;
        const unsigned char* in = data_ + object.at;
        for (std::size_t i = 0; i < *units; ++i, in += 2) {
            const unsigned code = static_cast<unsigned>(in[0]) << 8 | in[1];
            if (code < 0xD800 || code > 0xDFFF) continue;
            if (code >= 0xDC00 || i + 1 == *units) return false;
            ++i;
            in += 2;
            const unsigned trail = static_cast<unsigned>(in[0]) << 8 | in[1];
            if (trail < 0xDC00 || trail > 0xDFFF) return false;
        }
        return true;
    }

    const unsigned char* data_;
    std::size_t size_;
    std::size_t budget_;
    // Where `data_` lies, when ASCII strings may be views of it.
    SharedBytes* source_;
    // Whether `source_` holds all of `data_`: every 8-bit string is a view.
    bool viewable_;
    std::size_t offsetSize_ = 0, refSize_ = 0, tableAt_ = 0;
    std::uint64_t objectCount_ = 0, topObject_ = 0;
    std::size_t nodes_ = 0;
    std::vector<bool> onPath_;
    // Every string of the document together. Their bytes cannot outgrow half
    // again the document's size, so a small one takes a small first block.
    SharedStringArena arena_{size_ + size_ / 2};
    // The strings decoded so far, and for each object 1 + its place among
    // them (0: not decoded yet; or kCheckedOnly, kViewOfSource). Allocated
    // with the first string.
    std::vector<SharedString> strings_;
    std::vector<std::uint32_t> stringSlots_;
};

}  // namespace

std::optional<Value> readBinaryPropertyListDictionaryEntry(std::string_view bytes, std::size_t budget,
                                                           std::string_view key) {
    try {
        Reader reader(bytes, budget);
        if (!reader.open()) return std::nullopt;
        return reader.rootDictionaryEntry(key);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    } catch (const std::length_error&) {
        return std::nullopt;
    }
}

std::optional<Value> readBinaryPropertyList(std::string_view bytes, std::size_t budget) {
    try {
        Reader reader(bytes, budget);
        if (!reader.open()) return std::nullopt;
        return reader.root();
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    } catch (const std::length_error&) {
        return std::nullopt;
    }
}

std::optional<unsigned char> binaryPropertyListRootMarker(std::string_view bytes) {
    try {
        Reader reader(bytes, 0);
        if (!reader.open()) return std::nullopt;
        return reader.rootMarker();
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

std::optional<Dictionary> readBinaryPropertyListDictionary(std::string_view bytes, std::size_t budget) {
    return readBinaryPropertyListDictionary(bytes, budget, nullptr);
}

std::optional<Dictionary> readBinaryPropertyListDictionary(std::string_view bytes, std::size_t budget,
                                                           SharedBytes* source) {
    try {
        Reader reader(bytes, budget, source);
        if (!reader.open()) return std::nullopt;
        return reader.rootDictionary();
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    } catch (const std::length_error&) {
        return std::nullopt;
    }
}

}  // namespace springboard
