#pragma once

#include <optional>
#include <string>

#include "HostExport.h"
#include "Value.h"

// +dictionaryWithContentsOfFile:: the root dictionary of the property list at
// `path`, in XML or binary form. Absent when the file is missing, unreadable,
// not a property list, or its root is not a dictionary.
HOST_API std::optional<Dictionary> dictionaryWithContentsOfFile(const std::string& path);

// -writeToFile:atomically:: writes `dictionary` as an XML property list.
// Atomically: into a temporary file in the same directory, flushed to disk,
// then renamed over `path`, so readers see the old or the new file whole; on
// any failure the temporary file is removed and `path` is left untouched.
// New files get mode 0644. Returns whether the file was written.
HOST_API bool writeToFile(const Dictionary& dictionary, const std::string& path, bool atomically);
