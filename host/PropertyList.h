#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "HostExport.h"
#include "Value.h"

// +dictionaryWithContentsOfFile:: the root dictionary of the property list at
// `path`, in XML or binary form. Absent when the file is missing, unreadable,
// no regular file (a FIFO, socket, device or directory is never waited on),
// not a property list, or its root is not a dictionary.
HOST_API std::optional<Dictionary> dictionaryWithContentsOfFile(const std::string& path);

// The entry `key` of dictionaryWithContentsOfFile(path): absent when that
// gives no dictionary (one unreadable value anywhere in the file included),
// nil when the dictionary has no such entry. For a reader that wants one
// entry: the entries it does not ask for are checked but not kept.
HOST_API std::optional<Value> dictionaryEntryWithContentsOfFile(const std::string& path, std::string_view key);

// What a reader that rewrites a dictionary file, keeping the entries it
// does not know, must know first: whether there is a dictionary in it that
// a rewrite would lose.
struct DictionaryFile {
    enum class State {
        // Nothing to lose: no file, no regular file, bytes that are no
        // property list (neither the binary header nor anything like XML),
        // or a property list whose root is not a dictionary.
        none,
        // A property list, whole or damaged, that cannot be read whole: a
        // truncated or malformed list, one over a limit, one holding a value
        // with no exact counterpart (a set, a lone surrogate), a file we may
        // not read. Its dictionary may hold entries we cannot see.
        refused,
        // Read whole: `dictionary` is its root.
        read,
    };
    State state = State::none;
    Dictionary dictionary;
};
HOST_API DictionaryFile dictionaryFileWithContentsOfFile(const std::string& path);

// -writeToFile:atomically:: writes `dictionary` as an XML property list.
// Atomically: into a fresh temporary file in the same directory (whatever
// sat at its name is removed, never written through), flushed to disk, then
// renamed over `path`, so readers see the old or the new file whole; on any
// failure the temporary file is removed and `path` is left untouched. An
// existing file keeps its mode; new files get 0644. Nothing is written when
// some value cannot be written back exactly (a string holding a control
// character, a date with a fraction of a second). Returns whether the file
// was written.
HOST_API bool writeToFile(const Dictionary& dictionary, const std::string& path, bool atomically);
