#include "Value.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <limits>
#include <type_traits>

#include "SharedStringArena.h"
#include "UTF8.h"

namespace {

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();

std::string indent(int level) { return std::string(static_cast<std::size_t>(level) * 4, ' '); }

bool needsQuotes(std::string_view s) {
    if (s.empty()) return true;
    for (unsigned char c : s) {
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
                     c == '$' || c == '+' || c == '/' || c == ':' || c == '.' || c == '-';
        if (!plain) return true;
    }
    return false;
}

// One code point at s[i]; bytes that are no UTF-8 come out as themselves
// (so they are still shown, as Latin-1 would show them).
char32_t nextCodePoint(std::string_view s, std::size_t& i) {
    if (auto code = springboard::decodeUTF8(s, i)) return *code;
    return static_cast<unsigned char>(s[i++]);
}

void appendUnicodeEscape(std::string& out, unsigned unit) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "\\U%04x", unit & 0xFFFFu);
    out += buf;
}

// A string as the old-style property-list description writes it inside a
// collection: bare when it is a plain word, else quoted with escapes, and
// every non-ASCII character as \Uxxxx UTF-16 units.
std::string quoted(std::string_view s) {
    if (!needsQuotes(s)) return std::string(s);
    std::string out = "\"";
    for (std::size_t i = 0; i < s.size();) {
        char32_t cp = nextCodePoint(s, i);
        switch (cp) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\t': out += "\\t"; break;
            case '\r': out += "\\r"; break;
            default:
                if (cp < 0x80) {
                    out += static_cast<char>(cp);
                } else if (cp < 0x10000) {
                    appendUnicodeEscape(out, static_cast<unsigned>(cp));
                } else {
                    char32_t v = cp - 0x10000;
                    appendUnicodeEscape(out, static_cast<unsigned>(0xD800 + (v >> 10)));
                    appendUnicodeEscape(out, static_cast<unsigned>(0xDC00 + (v & 0x3FF)));
                }
        }
    }
    return out + "\"";
}

std::string realDescription(double d) {
    if (std::isnan(d)) return "nan";
    if (std::isinf(d)) return d > 0 ? "inf" : "-inf";
    char buf[64];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, d);
    return ec == std::errc() ? std::string(buf, end) : std::string("0");
}

std::string dataDescription(const Data& data) {
    std::string out = "<";
    char buf[4];
    for (std::size_t i = 0; i < data.bytes.size(); ++i) {
        if (i > 0 && i % 4 == 0) out += ' ';
        std::snprintf(buf, sizeof buf, "%02x", data.bytes[i]);
        out += buf;
    }
    return out + ">";
}

std::string dateDescription(const Date& date) {
    // The reference date is 978307200 seconds after the Unix epoch. Beyond
    // some 30 million years (or NaN) the date is shown at that bound: no
    // calendar year past it fits gmtime's int, nor the seconds a time_t.
    constexpr double kBound = 1e15;
    double unix = std::floor(date.secondsSinceReferenceDate + 978307200.0);
    unix = std::isnan(unix) ? 978307200.0 : std::clamp(unix, -kBound, kBound);
    auto t = static_cast<std::time_t>(unix);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char buf[64];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S +0000", &tm);
    return buf;
}

std::string describeAt(const Value& v, int level);

std::string describeArrayAt(const Array& a, int level) {
    std::string out = indent(level) + "(";
    for (std::size_t i = 0; i < a.size(); ++i) {
        out += i == 0 ? "\n" : ",\n";
        out += indent(level + 1) + describeAt(a[i], level + 1);
    }
    return out + "\n" + indent(level) + ")";
}

std::string describeDictionaryAt(const Dictionary& d, int level) {
    std::string out = indent(level) + "{\n";
    for (const auto& [key, value] : d) {
        out += indent(level + 1) + quoted(key) + " = " + describeAt(value, level + 1) + ";\n";
    }
    return out + indent(level) + "}";
}

std::string describeAt(const Value& v, int level) {
    if (auto s = v.asString()) return quoted(*s);
    if (auto a = v.asArray()) return describeArrayAt(*a, level);
    if (auto d = v.asDictionary()) return describeDictionaryAt(*d, level);
    return v.description();
}

std::int64_t saturatingFromReal(double d) {
    if (std::isnan(d)) return 0;
    if (d >= 9223372036854775807.0) return kMax;
    if (d <= -9223372036854775808.0) return kMin;
    return static_cast<std::int64_t>(d);
}

std::int64_t leadingInteger(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\n' || s[i] == '\r' || s[i] == '\v' ||
                            s[i] == '\f'))
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    std::int64_t result = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        int digit = s[i] - '0';
        if (negative) {
            if (result < (kMin + digit) / 10) return kMin;
            result = result * 10 - digit;
        } else {
            if (result > (kMax - digit) / 10) return kMax;
            result = result * 10 + digit;
        }
    }
    return result;
}

}  // namespace

Value::Value(const char* s) {
    if (s) storage_ = SharedString(s);
}

Value::Value(const std::optional<std::string>& s) {
    if (s) storage_ = SharedString(*s);
}

Value Value::unsignedInteger(std::uint64_t u) {
    Value value;
    if (u <= static_cast<std::uint64_t>(kMax)) value.storage_ = static_cast<std::int64_t>(u);
    else value.storage_ = Wide{u};
    return value;
}

namespace {

// Hands an array's values their end with their strings' references dropped
// a run at a time: the strings of a list read together share a block, and
// arrays of them are dropped whole. A string whose reference is dropped
// here needs nothing more, so the array's storage is given back without a
// second walk through its values.
template <class T>
struct ArrayAllocator : std::allocator<T> {
    template <class U>
    struct rebind {
        using other = ArrayAllocator<U>;
    };
    ArrayAllocator() = default;
    template <class U>
    ArrayAllocator(const ArrayAllocator<U>&) noexcept {}
    template <class U>
    void destroy(U* object) noexcept {
        if constexpr (std::is_same_v<U, ::Array>) {
            SharedStringBatch references;
            for (Value& value : *object) {
                if (const SharedString* text = value.asSharedString())
                    references.releaseEnded(*text);
                else
                    value.~Value();
            }
            references.settle();
            // Every value has ended; the vector's storage goes back, and the
            // vector is ended by making an empty one in its place rather than
            // by its destructor, which would end each value again.
            if (object->capacity()) std::allocator<Value>().deallocate(object->data(), object->capacity());
            ::new (static_cast<void*>(object))::Array();
        }
        object->~U();
    }
};

}  // namespace

Value::Value(::Array a) : storage_(std::allocate_shared<::Array>(ArrayAllocator<::Array>(), std::move(a))) {}
Value::Value(::Dictionary d) : storage_(std::make_shared<const ::Dictionary>(std::move(d))) {}

bool Value::isNumber() const {
    auto k = kind();
    return k == Kind::boolean || k == Kind::integer || k == Kind::real;
}

const ::Array* Value::asArray() const {
    auto p = std::get_if<std::shared_ptr<const ::Array>>(&storage_);
    return p ? p->get() : nullptr;
}

const ::Dictionary* Value::asDictionary() const {
    auto p = std::get_if<std::shared_ptr<const ::Dictionary>>(&storage_);
    return p ? p->get() : nullptr;
}

std::optional<bool> Value::asBoolean() const {
    if (auto b = std::get_if<bool>(&storage_)) return *b;
    return std::nullopt;
}

std::optional<std::int64_t> Value::asInteger() const {
    if (auto i = std::get_if<std::int64_t>(&storage_)) return *i;
    return std::nullopt;
}

std::optional<std::uint64_t> Value::asUnsignedInteger() const {
    if (auto i = std::get_if<std::int64_t>(&storage_); i && *i >= 0) return static_cast<std::uint64_t>(*i);
    if (auto w = std::get_if<Wide>(&storage_)) return w->value;
    return std::nullopt;
}

std::optional<double> Value::asReal() const {
    if (auto b = std::get_if<bool>(&storage_)) return *b ? 1.0 : 0.0;
    if (auto i = std::get_if<std::int64_t>(&storage_)) return static_cast<double>(*i);
    if (auto d = std::get_if<double>(&storage_)) return *d;
    if (auto w = std::get_if<Wide>(&storage_)) return static_cast<double>(w->value);
    return std::nullopt;
}

std::optional<std::string> Value::stringValue() const {
    if (auto s = asString()) return std::string(*s);
    return std::nullopt;
}

bool Value::isEqual(const Value& other) const {
    if (isNil() || other.isNil()) return false;
    if (isNumber() && other.isNumber()) {
        bool exactA = kind() != Kind::real, exactB = other.kind() != Kind::real;
        const bool wideA = storage_.index() == kWideIndex, wideB = other.storage_.index() == kWideIndex;
        // Above 2^63-1 no 64-bit signed number (nor boolean) can be equal.
        if (exactA && exactB && (wideA || wideB)) return wideA && wideB && storage_ == other.storage_;
        if (exactA && exactB) {
            auto a = asInteger().value_or(asBoolean().value_or(false) ? 1 : 0);
            auto b = other.asInteger().value_or(other.asBoolean().value_or(false) ? 1 : 0);
            return a == b;
        }
        return *asReal() == *other.asReal();
    }
    if (kind() != other.kind()) return false;
    if (auto a = asArray()) {
        auto b = other.asArray();
        if (a->size() != b->size()) return false;
        for (std::size_t i = 0; i < a->size(); ++i)
            if (!(*a)[i].isEqual((*b)[i]) && !((*a)[i].isNil() && (*b)[i].isNil())) return false;
        return true;
    }
    if (auto a = asDictionary()) {
        auto b = other.asDictionary();
        if (a->size() != b->size()) return false;
        for (auto ia = a->begin(), ib = b->begin(); ia != a->end(); ++ia, ++ib) {
            if (ia->first != ib->first) return false;
            if (!ia->second.isEqual(ib->second) && !(ia->second.isNil() && ib->second.isNil())) return false;
        }
        return true;
    }
    return storage_ == other.storage_;
}

std::string Value::description() const {
    switch (kind()) {
        case Kind::nil: return "(null)";
        case Kind::boolean: return std::get<bool>(storage_) ? "1" : "0";
        case Kind::integer:
            if (auto w = std::get_if<Wide>(&storage_)) return std::to_string(w->value);
            return std::to_string(std::get<std::int64_t>(storage_));
        case Kind::real: return realDescription(std::get<double>(storage_));
        case Kind::string: return std::string(std::get<SharedString>(storage_).view());
        case Kind::data: return dataDescription(std::get<::Data>(storage_));
        case Kind::date: return dateDescription(std::get<::Date>(storage_));
        case Kind::array: return describeArrayAt(*asArray(), 0);
        case Kind::dictionary: return describeDictionaryAt(*asDictionary(), 0);
    }
    return "(null)";
}

std::int64_t Value::integerValue() const {
    switch (kind()) {
        case Kind::boolean: return std::get<bool>(storage_) ? 1 : 0;
        case Kind::integer:
            return storage_.index() == kWideIndex ? kMax : std::get<std::int64_t>(storage_);
        case Kind::real: return saturatingFromReal(std::get<double>(storage_));
        case Kind::string: return leadingInteger(std::get<SharedString>(storage_).view());
        default: return 0;
    }
}

bool Value::operator==(const Value& other) const {
    if (kind() != other.kind()) return false;
    if (auto a = asArray()) return *a == *other.asArray();
    if (auto a = asDictionary()) return *a == *other.asDictionary();
    return storage_ == other.storage_;
}

std::string describe(const Dictionary& dictionary) { return describeDictionaryAt(dictionary, 0); }
std::string describe(const Array& array) { return describeArrayAt(array, 0); }

Array arrayByAddingObject(const Array& array, Value object) {
    Array result;
    result.reserve(array.size() + 1);
    {
        // Declared after `result`, so the references it owes are taken
        // before a failed copy lets `result` drop them.
        SharedStringBatch references;
        for (const Value& value : array) {
            if (const SharedString* text = value.asSharedString())
                result.emplace_back(references.copy(*text));
            else
                result.push_back(value);
        }
    }
    result.push_back(std::move(object));
    return result;
}
