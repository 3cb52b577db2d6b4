#pragma once

// Property-list files the simulator writes into devices (Info.plists, Clear's
// preferences, settings). Written with libplist, as XML or as binary (the form
// a device stores app preferences in), always through a temporary file that is
// renamed into place.

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace sim {

enum class PlistFormat { XML, Binary };

// Writes `root` (JSON: objects → dicts, arrays, strings, booleans, integers,
// reals) as a property list. False with `error` set when it cannot.
bool writePlistFile(const std::string& path, const nlohmann::json& root, PlistFormat format, std::string* error);

// The string under `key` in the root dictionary of the property list at
// `path` (XML or binary); absent when anything is missing.
std::optional<std::string> readPlistString(const std::string& path, const std::string& key);

// Writes `bytes` to `path` through a temporary file renamed into place.
bool writeFileAtomically(const std::string& path, const std::string& bytes, std::string* error);

}  // namespace sim
