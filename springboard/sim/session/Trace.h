#pragma once

// The simulator's trace: one JSON object per line, in the order things happen.
// Every event carries "event" first, then its fields in the order given.

#include <cstddef>
#include <functional>
#include <mutex>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "UIColor.h"
#include "Value.h"

namespace sim {

using Json = nlohmann::ordered_json;

// Values as JSON: nil → null, booleans, integers and reals as numbers (a real
// that is not finite → null), strings, arrays, dictionaries (keys in order),
// data → {"data": base64}, dates → {"date": seconds since 2001-01-01}.
Json jsonFromValue(const Value& value);

// {"rgb":[r,g,b],"alpha":a} or {"white":w,"alpha":a}, with the exact components.
Json jsonFromColor(const UIColor& color);

// JSON as a Value, for the payloads scripts give: null → nil, true/false →
// booleans, whole numbers → integers (beyond 64 bits → reals), other numbers →
// reals, strings, arrays, objects → dictionaries.
Value valueFromJson(const nlohmann::json& json);

// Writes events to a stream (or nowhere) and tells observers about each one.
// Thread-safe: an IPC handler thread's events (lookups) interleave whole.
class Trace {
public:
    using Observer = std::function<void(const Json& event)>;

    // `out` may be nullptr (no trace file); it must outlive the trace.
    explicit Trace(std::ostream* out = nullptr) : out_(out) {}

    // Writes {"event": name, ...fields} as one line and flushes it, so a
    // trace read while the simulator runs is whole up to its last line.
    void emit(const std::string& name, const Json& fields = Json::object());

    // Observers run on the emitting thread, under the trace's lock. Returns
    // the key that removes the observer again.
    std::size_t addObserver(Observer observer) {
        std::lock_guard lock(mutex_);
        observers_.emplace_back(++lastObserverKey_, std::move(observer));
        return lastObserverKey_;
    }
    void removeObserver(std::size_t key) {
        std::lock_guard lock(mutex_);
        std::erase_if(observers_, [key](const auto& entry) { return entry.first == key; });
    }

    // One line of JSON text for `event`, invalid UTF-8 replaced by U+FFFD.
    static std::string line(const Json& event);

private:
    std::recursive_mutex mutex_;
    std::ostream* out_;
    std::vector<std::pair<std::size_t, Observer>> observers_;
    std::size_t lastObserverKey_ = 0;
};

}  // namespace sim
