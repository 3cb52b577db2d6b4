#include "PlistCodec.h"

#include <plist/plist.h>

#include <cstdlib>
#include <limits>
#include <memory>

namespace {

struct PlistDeleter {
    void operator()(plist_t p) const { plist_free(p); }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

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
        case PLIST_STRING:
        case PLIST_KEY: {
            char* s = nullptr;
            plist_get_string_val(node, &s);
            std::string str = s ? s : "";
            std::free(s);
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
            return Value(Date{sec + usec / 1e6});
        }
        case PLIST_ARRAY: {
            Array array;
            std::uint32_t n = plist_array_get_size(node);
            array.reserve(n);
            for (std::uint32_t i = 0; i < n; ++i) {
                auto element = toValue(plist_array_get_item(node, i), depth + 1);
                if (!element) return std::nullopt;
                array.push_back(std::move(*element));
            }
            return Value(std::move(array));
        }
        case PLIST_DICT: {
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
                if (element && key) dictionary.insert_or_assign(key, std::move(*element));
                ok = element.has_value();
                std::free(key);
            }
            std::free(it);
            if (!ok) return std::nullopt;
            return Value(std::move(dictionary));
        }
        default:
            // UIDs (keyed-archiver references) and anything newer have no
            // counterpart among property-list objects.
            return std::nullopt;
    }
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
            double seconds = value.asDate()->secondsSinceReferenceDate;
            auto sec = static_cast<std::int32_t>(seconds);
            return plist_new_date(sec, static_cast<std::int32_t>((seconds - sec) * 1e6));
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
    if (!bytes || length == 0 || length > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
    plist_t root = nullptr;
    plist_from_memory(static_cast<const char*>(bytes), static_cast<std::uint32_t>(length), &root);
    if (!root) return std::nullopt;
    PlistPtr owner(root);
    return toValue(root, 0);
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

std::string binaryPropertyList(const Value& value) {
    PlistPtr root(toPlist(value));
    if (!root) return {};
    char* bin = nullptr;
    std::uint32_t length = 0;
    plist_to_bin(root.get(), &bin, &length);
    std::string out = bin ? std::string(bin, length) : std::string();
    plist_to_bin_free(bin);
    return out;
}

}  // namespace springboard
