#include "PlistFile.h"

#include <plist/plist.h>

#include "PlistNode.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>

#include <unistd.h>

namespace sim {
namespace {

using springboard::PlistPtr;

plist_t toPlist(const nlohmann::json& json) {
    switch (json.type()) {
        case nlohmann::json::value_t::object: {
            plist_t dict = plist_new_dict();
            for (const auto& [key, value] : json.items()) plist_dict_set_item(dict, key.c_str(), toPlist(value));
            return dict;
        }
        case nlohmann::json::value_t::array: {
            plist_t array = plist_new_array();
            for (const auto& value : json) plist_array_append_item(array, toPlist(value));
            return array;
        }
        case nlohmann::json::value_t::string: return plist_new_string(json.get<std::string>().c_str());
        case nlohmann::json::value_t::boolean: return plist_new_bool(json.get<bool>() ? 1 : 0);
        case nlohmann::json::value_t::number_integer:
        case nlohmann::json::value_t::number_unsigned: return plist_new_uint(json.get<std::uint64_t>());
        case nlohmann::json::value_t::number_float: return plist_new_real(json.get<double>());
        default: return plist_new_string("");
    }
}

}  // namespace

bool writeFileAtomically(const std::string& path, const std::string& bytes, std::string* error) {
    std::string temporary = path + ".tmp-" + std::to_string(::getpid());
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.flush();
        if (!out) {
            std::remove(temporary.c_str());
            if (error) *error = "cannot write " + path;
            return false;
        }
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        if (error) *error = "cannot write " + path;
        return false;
    }
    return true;
}

bool writePlistFile(const std::string& path, const nlohmann::json& root, PlistFormat format, std::string* error) {
    PlistPtr plist(toPlist(root));
    char* buffer = nullptr;
    uint32_t length = 0;
    std::string bytes;
    if (format == PlistFormat::XML) {
        plist_to_xml(plist.get(), &buffer, &length);
        if (buffer) bytes.assign(buffer, length);
        plist_to_xml_free(buffer);
    } else {
        plist_to_bin(plist.get(), &buffer, &length);
        if (buffer) bytes.assign(buffer, length);
        plist_to_bin_free(buffer);
    }
    if (bytes.empty()) {
        if (error) *error = "cannot encode " + path;
        return false;
    }
    return writeFileAtomically(path, bytes, error);
}

std::optional<std::string> readPlistString(const std::string& path, const std::string& key) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    plist_t raw = nullptr;
    plist_from_memory(bytes.data(), static_cast<uint32_t>(bytes.size()), &raw);
    PlistPtr plist(raw);
    if (!raw || plist_get_node_type(raw) != PLIST_DICT) return std::nullopt;
    plist_t item = plist_dict_get_item(raw, key.c_str());
    if (!item || plist_get_node_type(item) != PLIST_STRING) return std::nullopt;
    char* value = nullptr;
    plist_get_string_val(item, &value);
    if (!value) return std::nullopt;
    std::string result(value);
    std::free(value);
    return result;
}

}  // namespace sim
