#include "Trace.h"

#include <cmath>
#include <limits>

namespace sim {
namespace {

std::string base64(const std::vector<std::uint8_t>& bytes) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    std::size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        unsigned n = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
        out += {kAlphabet[(n >> 18) & 63], kAlphabet[(n >> 12) & 63], kAlphabet[(n >> 6) & 63], kAlphabet[n & 63]};
    }
    if (i + 1 == bytes.size()) {
        unsigned n = bytes[i] << 16;
        out += {kAlphabet[(n >> 18) & 63], kAlphabet[(n >> 12) & 63], '=', '='};
    } else if (i + 2 == bytes.size()) {
        unsigned n = (bytes[i] << 16) | (bytes[i + 1] << 8);
        out += {kAlphabet[(n >> 18) & 63], kAlphabet[(n >> 12) & 63], kAlphabet[(n >> 6) & 63], '='};
    }
    return out;
}

}  // namespace

Json jsonFromValue(const Value& value) {
    switch (value.kind()) {
        case Value::Kind::nil: return nullptr;
        case Value::Kind::boolean: return *value.asBoolean();
        case Value::Kind::integer:
            if (auto i = value.asInteger()) return *i;
            return *value.asUnsignedInteger();  // above 2^63-1
        case Value::Kind::real: {
            double d = *value.asReal();
            if (!std::isfinite(d)) return nullptr;
            return d;
        }
        case Value::Kind::string: return *value.asString();
        case Value::Kind::data: return Json{{"data", base64(value.asData()->bytes)}};
        case Value::Kind::date: return Json{{"date", value.asDate()->secondsSinceReferenceDate}};
        case Value::Kind::array: {
            Json array = Json::array();
            for (const Value& element : *value.asArray()) array.push_back(jsonFromValue(element));
            return array;
        }
        case Value::Kind::dictionary: {
            Json object = Json::object();
            for (const auto& [key, element] : *value.asDictionary()) object[key] = jsonFromValue(element);
            return object;
        }
    }
    return nullptr;
}

Json jsonFromColor(const UIColor& color) {
    Json json = Json::object();
    if (color.space == UIColor::Space::RGB)
        json["rgb"] = Json::array({color.red, color.green, color.blue});
    else
        json["white"] = color.white;
    json["alpha"] = color.alpha;
    return json;
}

Value valueFromJson(const nlohmann::json& json) {
    switch (json.type()) {
        case nlohmann::json::value_t::boolean: return Value(json.get<bool>());
        case nlohmann::json::value_t::number_integer: return Value(static_cast<long long>(json.get<std::int64_t>()));
        case nlohmann::json::value_t::number_unsigned: {
            auto u = json.get<std::uint64_t>();
            if (u <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
                return Value(static_cast<long long>(u));
            return Value(static_cast<double>(u));
        }
        case nlohmann::json::value_t::number_float: return Value(json.get<double>());
        case nlohmann::json::value_t::string: return Value(json.get<std::string>());
        case nlohmann::json::value_t::array: {
            Array array;
            for (const auto& element : json) array.push_back(valueFromJson(element));
            return Value(std::move(array));
        }
        case nlohmann::json::value_t::object: {
            Dictionary dictionary;
            for (const auto& [key, element] : json.items()) dictionary[key] = valueFromJson(element);
            return Value(std::move(dictionary));
        }
        default: return Value();
    }
}

std::string Trace::line(const Json& event) {
    return event.dump(-1, ' ', false, Json::error_handler_t::replace);
}

void Trace::emit(const std::string& name, const Json& fields) {
    Json event = Json::object();
    event["event"] = name;
    for (const auto& [key, value] : fields.items()) event[key] = value;
    std::lock_guard lock(mutex_);
    if (out_) {
        *out_ << line(event) << '\n';
        out_->flush();
    }
    for (const auto& [key, observer] : observers_) observer(event);
}

}  // namespace sim
