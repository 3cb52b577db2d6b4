#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "HostExport.h"
#include "SharedString.h"

class Value;

// NSArray / NSDictionary. Dictionary keys are always strings on this platform
// (property lists, form values, user-info, IPC messages).
using Array = std::vector<Value>;
using Dictionary = std::map<std::string, Value>;

// NSData: raw bytes.
struct Data {
    std::vector<std::uint8_t> bytes;
    bool operator==(const Data&) const = default;
};

// NSDate: seconds since 2001-01-01 00:00:00 UTC, as property lists store it.
struct Date {
    double secondsSinceReferenceDate = 0;
    bool operator==(const Date&) const = default;
};

// An `id`: nil, or a boolean, integer or real number, string, data, date,
// array or dictionary. Immutable; copies share their string and collection
// storage.
class HOST_API Value {
public:
    // Lower case, so that `Kind::array` never hides the `Array` type inside
    // the class. Integers from -2^63 to 2^64-1 are all of kind `integer`.
    enum class Kind { nil, boolean, integer, real, string, data, date, array, dictionary };

    Value() = default;  // nil
    Value(std::nullptr_t) {}
    Value(bool b) : storage_(b) {}
    Value(int i) : storage_(static_cast<std::int64_t>(i)) {}
    Value(long i) : storage_(static_cast<std::int64_t>(i)) {}
    Value(long long i) : storage_(static_cast<std::int64_t>(i)) {}
    Value(double d) : storage_(d) {}
    Value(const char* s);  // nullptr gives nil
    // A string's bytes are copied once; copies of the Value then share them.
    Value(const std::string& s) : storage_(SharedString(s)) {}
    Value(std::string_view s) : storage_(SharedString(s)) {}
    Value(const SharedString& s) : storage_(s) {}
    Value(SharedString&& s) noexcept : storage_(std::move(s)) {}
    Value(const std::optional<std::string>& s);  // absent gives nil
    Value(::Data d) : storage_(std::move(d)) {}
    Value(::Date d) : storage_(d) {}
    Value(::Array a);
    Value(::Dictionary d);
    // An integer given as unsigned: held exactly up to 2^64-1 (a property
    // list may carry one), as a plain integer when it fits in 63 bits.
    static Value unsignedInteger(std::uint64_t u);

    Kind kind() const {
        return storage_.index() == kWideIndex ? Kind::integer : static_cast<Kind>(storage_.index());
    }
    bool isNil() const { return kind() == Kind::nil; }
    bool isString() const { return kind() == Kind::string; }
    bool isNumber() const;  // boolean, integer or real: an NSNumber
    bool isArray() const { return kind() == Kind::array; }
    bool isDictionary() const { return kind() == Kind::dictionary; }

    // The held value when the value is of that kind, else nullptr (for a
    // string, absent). A string's view is valid while this value (or a copy
    // of it) lives.
    std::optional<std::string_view> asString() const {
        if (const auto* s = std::get_if<SharedString>(&storage_)) return s->view();
        return std::nullopt;
    }
    // A string's text itself, or nullptr: a copy of it shares the bytes, as
    // a copy of the value would, without going through the value's kinds.
    const SharedString* asSharedString() const { return std::get_if<SharedString>(&storage_); }
    const ::Array* asArray() const;
    const ::Dictionary* asDictionary() const;
    const ::Data* asData() const { return std::get_if<::Data>(&storage_); }
    const ::Date* asDate() const { return std::get_if<::Date>(&storage_); }
    std::optional<bool> asBoolean() const;
    std::optional<std::int64_t> asInteger() const;  // integer kind, when it fits in 64 signed bits
    std::optional<std::uint64_t> asUnsignedInteger() const;  // integer kind, when not negative
    std::optional<double> asReal() const;           // any number, as a double

    // The string when this is a string, else absent.
    std::optional<std::string> stringValue() const;

    // -isEqual:. Numbers compare by numeric value whatever their kind
    // (@YES equals @1, @1 equals @1.0); strings, data and dates compare
    // exactly; collections element by element. Nil equals nothing, not even
    // nil, as a message to nil answers NO.
    bool isEqual(const Value& other) const;

    // %@: a string as itself, a number in decimal, nil as "(null)",
    // collections in the old-style property-list description format
    // ("(\n    a,\n    b\n)", "{\n    key = value;\n}").
    std::string description() const;

    // -integerValue. Numbers give their value (reals truncated toward zero,
    // both reals and integers above 2^63-1 saturating); strings give the
    // decimal integer they begin with: leading white space skipped, an
    // optional sign, then digits, saturating at the limits of a 64-bit
    // integer, 0 when there are no digits. Anything else: 0.
    std::int64_t integerValue() const;

    // Structural identity, for containers and tests: same kind and same
    // content (nil == nil). Use isEqual for Foundation's semantics.
    bool operator==(const Value& other) const;

private:
    // An integer above 2^63-1; smaller ones are always held as std::int64_t.
    struct Wide {
        std::uint64_t value;
        bool operator==(const Wide&) const = default;
    };
    using Storage = std::variant<std::monostate, bool, std::int64_t, double, SharedString, ::Data, ::Date,
                                 std::shared_ptr<const ::Array>, std::shared_ptr<const ::Dictionary>, Wide>;
    static constexpr std::size_t kWideIndex = 9;
    Storage storage_;
};

// The description of a dictionary or array as a top-level %@ argument.
HOST_API std::string describe(const Dictionary& dictionary);
HOST_API std::string describe(const Array& array);

// -arrayByAddingObject:: the elements of `array`, shared as a copy of the
// array would share them, then `object`.
HOST_API Array arrayByAddingObject(const Array& array, Value object);
