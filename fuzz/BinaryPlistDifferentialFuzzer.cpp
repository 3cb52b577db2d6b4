// Our binary property-list reader against libplist's. On every input both
// accept, they must find the same values; an input libplist accepts and ours
// refuses is a finding too, unless it holds what we refuse on purpose (see
// Strictness, and the decode budget). libplist is known to lose what our reader keeps (dates past
// 32-bit seconds, strings holding U+0000, which its getters abort on), so
// such inputs are compared only where libplist can answer at all; and it
// recurses without bound and expands shared objects without limit, so it is
// handed only inputs within our own depth and node limits.

#include <plist/plist.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "BinaryPropertyListReader.h"
#include "NSString.h"
#include "PlistCodec.h"
#include "PlistNode.h"

namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

// Whether any string or key in `value` holds a NUL.
bool holdsNul(const Value& value) {
    if (auto s = value.asString()) return s->find('\0') != std::string::npos;
    if (auto a = value.asArray()) {
        for (const Value& element : *a)
            if (holdsNul(element)) return true;
    }
    if (auto d = value.asDictionary()) {
        for (const auto& [key, element] : *d)
            if (key.find('\0') != std::string::npos || holdsNul(element)) return true;
    }
    return false;
}

bool same(const Value& ours, plist_t node) {
    switch (plist_get_node_type(node)) {
        case PLIST_BOOLEAN: {
            std::uint8_t b = 0;
            plist_get_bool_val(node, &b);
            return ours.asBoolean() == std::optional<bool>(b != 0) && ours.kind() == Value::Kind::boolean;
        }
        case PLIST_UINT: {
            std::uint64_t u = 0;
            plist_get_uint_val(node, &u);
            if (auto i = ours.asInteger()) return static_cast<std::uint64_t>(*i) == u;
            return ours.asUnsignedInteger() == std::optional<std::uint64_t>(u);
        }
        case PLIST_REAL: {
            double d = 0;
            plist_get_real_val(node, &d);
            if (ours.kind() != Value::Kind::real) return false;
            const double mine = *ours.asReal();
            return std::memcmp(&d, &mine, sizeof d) == 0 || (std::isnan(d) && std::isnan(mine));
        }
        case PLIST_DATE: {
            if (!ours.asDate()) return false;
            const double seconds = ours.asDate()->secondsSinceReferenceDate;
            // libplist's getter wraps anything past 32-bit seconds.
            if (!(std::fabs(seconds) < 2147483647.0)) return true;
            std::int32_t sec = 0, usec = 0;
            plist_get_date_val(node, &sec, &usec);
            return std::fabs(std::trunc(seconds) - sec) < 1.0;
        }
        case PLIST_STRING: {
            std::uint64_t length = 0;
            const char* s = plist_get_string_ptr(node, &length);
            return ours.asString() && *ours.asString() == std::string_view(s ? s : "", s ? length : 0);
        }
        case PLIST_DATA: {
            std::uint64_t length = 0;
            const char* bytes = plist_get_data_ptr(node, &length);
            return ours.asData() && ours.asData()->bytes.size() == length &&
                   (length == 0 || std::memcmp(ours.asData()->bytes.data(), bytes, length) == 0);
        }
        case PLIST_ARRAY: {
            const Array* array = ours.asArray();
            if (!array || array->size() != plist_array_get_size(node)) return false;
            for (std::uint32_t i = 0; i < array->size(); ++i)
                if (!same((*array)[i], plist_array_get_item(node, i))) return false;
            return true;
        }
        case PLIST_DICT: {
            const Dictionary* dictionary = ours.asDictionary();
            if (!dictionary) return false;
            // libplist keeps a repeated key twice; ours (as plistlib) keeps the last.
            std::map<std::string, plist_t> last;
            plist_dict_iter it = nullptr;
            plist_dict_new_iter(node, &it);
            for (;;) {
                char* key = nullptr;
                plist_t item = nullptr;
                plist_dict_next_item(node, it, &key, &item);
                if (item) last[key ? key : ""] = item;
                std::free(key);
                if (!item) break;
            }
            std::free(it);
            if (last.size() != dictionary->size()) return false;
            for (const auto& [key, item] : last) {
                const auto found = dictionary->find(key);
                if (found == dictionary->end() || !same(found->second, item)) return false;
            }
            return true;
        }
        default: return false;
    }
}

// The shape of a binary list as our reader walks it (every object reached
// from the root, shared ones once per reference), and whether any object
// reached is one we refuse on purpose where libplist may read it: a header
// other than "bplist00", UIDs, sets, null and fill bytes, keys that are no
// strings, ASCII strings that are no UTF-8, UTF-16 with lone surrogates,
// integers outside -2^63..2^64-1, reals and dates of other widths, and
// unassigned markers. None of these has an exact Value.
class Strictness {
public:
    explicit Strictness(std::string_view bytes)
        : data_(reinterpret_cast<const unsigned char*>(bytes.data())), size_(bytes.size()) {}

    // False when the list is malformed (the trailer, an offset or a count),
    // has a cycle, or passes our depth or node limits: nothing to hand
    // libplist, and refused by us whatever it holds.
    bool walk() {
        if (size_ < 40 || std::memcmp(data_, "bplist", 6) != 0) return false;
        if (std::memcmp(data_, "bplist00", 8) != 0) found_ = true;
        const std::size_t t = size_ - 32;
        offsetSize_ = data_[t + 6];
        refSize_ = data_[t + 7];
        count_ = number(t + 8, 8);
        const std::uint64_t top = number(t + 16, 8), table = number(t + 24, 8);
        if (offsetSize_ < 1 || offsetSize_ > 8 || refSize_ < 1 || refSize_ > 8 || count_ == 0 || count_ > size_ ||
            top >= count_ || table < 8 || table > t || count_ * offsetSize_ > t - table)
            return false;
        table_ = static_cast<std::size_t>(table);
        onPath_.assign(static_cast<std::size_t>(count_), false);
        return visit(top, 1, false);
    }
    bool found() const { return found_; }

private:
    std::uint64_t number(std::size_t at, std::size_t width) const {
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < width; ++i) value = value << 8 | data_[at + i];
        return value;
    }
    bool fits(std::size_t at, std::uint64_t length) const { return at <= table_ && length <= table_ - at; }

    bool visit(std::uint64_t index, int depth, bool asKey) {
        if (index >= count_ || depth > springboard::kMaxPropertyListDepth ||
            ++nodes_ > springboard::kMaxPropertyListNodes)
            return false;
        const std::uint64_t offset = number(table_ + static_cast<std::size_t>(index) * offsetSize_, offsetSize_);
        if (offset < 8 || offset >= table_) return false;
        std::size_t at = static_cast<std::size_t>(offset);
        const unsigned char marker = data_[at++];
        const unsigned type = marker >> 4, low = marker & 0x0F;
        if (asKey && type != 0x5 && type != 0x6) found_ = true;
        std::uint64_t count = low;
        if ((type >= 0x4 && type <= 0x6) || type >= 0xA) {
            if (low == 0x0F) {
                if (!fits(at, 1) || data_[at] >> 4 != 0x1 || (data_[at] & 0x0F) > 3) return false;
                const std::size_t width = std::size_t{1} << (data_[at] & 0x0F);
                if (!fits(at + 1, width)) return false;
                count = number(at + 1, width);
                at += 1 + width;
            }
            if (count > size_) return false;
        }
        switch (type) {
            case 0x0: found_ |= marker != 0x08 && marker != 0x09; return true;
            case 0x1:
                if (low == 4 && fits(at, 16)) {
                    const std::uint64_t high = number(at, 8);
                    found_ |= high != 0 && !(high == ~std::uint64_t{0} && data_[at + 8] >> 7);
                }
                found_ |= low > 4;
                return fits(at, std::uint64_t{1} << std::min(low, 4u));
            case 0x2: found_ |= low != 2 && low != 3; return true;
            case 0x3: found_ |= marker != 0x33; return true;
            case 0x4: return fits(at, count);
            case 0x5:
                if (!fits(at, count)) return false;
                found_ |= !isValidUTF8(std::string_view(reinterpret_cast<const char*>(data_ + at), count));
                return true;
            case 0x6: return count <= size_ / 2 && fits(at, count * 2) && (checkUTF16(at, count), true);
            case 0xA:
            case 0xC:
            case 0xD: {
                found_ |= type == 0xC;
                const std::uint64_t refs = type == 0xD ? count * 2 : count;
                if (count > size_ / 2 || !fits(at, refs * refSize_) || onPath_[static_cast<std::size_t>(index)])
                    return false;
                onPath_[static_cast<std::size_t>(index)] = true;
                for (std::uint64_t i = 0; i < refs; ++i)
                    if (!visit(number(at + static_cast<std::size_t>(i) * refSize_, refSize_), depth + 1,
                               type == 0xD && i < count))
                        return false;
                onPath_[static_cast<std::size_t>(index)] = false;
                return true;
            }
            default: found_ = true; return true;  // UIDs and unassigned markers
        }
    }

    void checkUTF16(std::size_t at, std::uint64_t units) {
        for (std::uint64_t i = 0; i < units; ++i) {
            const unsigned unit = static_cast<unsigned>(number(at + 2 * i, 2));
            if (unit >= 0xDC00 && unit <= 0xDFFF) found_ = true;
            if (unit >= 0xD800 && unit <= 0xDBFF) {
                const unsigned next = i + 1 < units ? static_cast<unsigned>(number(at + 2 * (i + 1), 2)) : 0;
                if (next < 0xDC00 || next > 0xDFFF) found_ = true;
                else ++i;
            }
        }
    }

    const unsigned char* data_;
    std::size_t size_;
    std::size_t offsetSize_ = 0, refSize_ = 0, table_ = 0, nodes_ = 0;
    std::uint64_t count_ = 0;
    std::vector<bool> onPath_;
    bool found_ = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    Strictness strictness(bytes);
    if (!strictness.walk()) return 0;
    const auto ours = springboard::readBinaryPropertyList(bytes, springboard::fileDecodeBudget(size));
    // libplist's getters abort on strings holding U+0000.
    if (ours && holdsNul(*ours)) return 0;
    plist_t root = nullptr;
    plist_from_bin(reinterpret_cast<const char*>(data), static_cast<std::uint32_t>(size), &root);
    const springboard::PlistPtr theirs(root);
    if (!theirs) return 0;
    if (!ours) {
        // Past the decode budget, which copies of shared containers and
        // data count against, is refused on purpose too.
        const bool overBudget = springboard::readBinaryPropertyList(bytes, std::size_t{1} << 28).has_value();
        if (!strictness.found() && !overBudget) fail("libplist reads a list our binary reader refuses");
        return 0;
    }
    if (!same(*ours, theirs.get())) fail("our binary reader and libplist disagree");
    return 0;
}
