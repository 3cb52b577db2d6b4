#pragma once

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

#include "HostExport.h"
#include "Value.h"

// NSUTF8StringEncoding, the encoding value the escaping routine is given.
inline constexpr unsigned long NSUTF8StringEncoding = 4;

// +stringWithFormat: for object arguments: each "%@" takes the next argument's
// description ("(null)" for nil, and for a missing argument), "%%" is a
// percent sign; any other text is copied as it stands.
HOST_API std::string stringWithFormat(std::string_view format, std::initializer_list<Value> arguments);

// +stringWithUTF8String:: the text of the NUL-terminated `bytes`, or absent
// when `bytes` is null or not valid UTF-8 (strictly: no overlong forms, no
// surrogates, nothing above U+10FFFF, no truncated sequence).
HOST_API std::optional<std::string> stringWithUTF8String(const char* bytes);

// Whether `text` is valid UTF-8 in that strict sense.
HOST_API bool isValidUTF8(std::string_view text);

// -stringByReplacingOccurrencesOfString:withString:: every non-overlapping
// occurrence, left to right, literal and case-sensitive. An empty target
// replaces nothing.
HOST_API std::string stringByReplacingOccurrencesOfString(std::string_view string, std::string_view target,
                                                          std::string_view replacement);

// -stringByAppendingPathComponent:: joins with exactly one "/" between the
// two, whether or not `path` ends or `component` starts with one.
HOST_API std::string stringByAppendingPathComponent(std::string_view path, std::string_view component);

// -stringByAddingPercentEscapesUsingEncoding:: the whole-URL escaping. Leaves
// A-Z a-z 0-9 and ! $ & ' ( ) * + , - . / : ; = ? @ _ ~ unchanged and writes
// every other byte of the UTF-8 form as "%XX" (upper-case hex). Absent for an
// encoding other than NSUTF8StringEncoding.
HOST_API std::optional<std::string> stringByAddingPercentEscapesUsingEncoding(std::string_view string,
                                                                              unsigned long encoding);

// The escaping for one query value (a name or value of a "name=value" pair):
// leaves only A-Z a-z 0-9 and - . _ ~ unchanged and writes every other byte of
// the UTF-8 form, the query's own delimiters "&", "=", "?" and "#" included,
// as "%XX" (upper-case hex).
HOST_API std::string stringByAddingPercentEncodingForQueryValue(std::string_view string);
