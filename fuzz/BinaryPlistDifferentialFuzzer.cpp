// Our binary property-list reader against libplist's: on every input both
// accept, they must find the same values. libplist is known to lose what our
// reader keeps (dates past 32-bit seconds, strings holding U+0000, which its
// getters abort on), so such inputs are compared only where libplist can
// answer at all.

#include <plist/plist.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <string_view>

#include "BinaryPropertyListReader.h"
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto ours = springboard::readBinaryPropertyList(bytes, std::size_t{1} << 28);
    // libplist is only handed what our reader accepted: it recurses without a
    // depth limit and aborts on strings holding U+0000.
    if (!ours || holdsNul(*ours)) return 0;
    plist_t root = nullptr;
    plist_from_bin(reinterpret_cast<const char*>(data), static_cast<std::uint32_t>(size), &root);
    const springboard::PlistPtr theirs(root);
    if (theirs && !same(*ours, theirs.get())) fail("our binary reader and libplist disagree");
    return 0;
}
