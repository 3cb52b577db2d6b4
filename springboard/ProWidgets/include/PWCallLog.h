#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "PWCallRecord.h"

// The calls the plug-in made on one host, in order, plus listeners that see
// each call as it is recorded (the simulator's trace). Main thread only.
class PWCallLog {
public:
    using Listener = std::function<void(const PWCallRecord& record)>;

    // Appends `record`, then hands it to every listener in the order they
    // were added. Listeners may add or remove listeners; the change applies
    // from the next record on.
    void record(PWCallRecord record);

    const std::vector<PWCallRecord>& records() const { return records_; }
    // The records' names, in order.
    std::vector<std::string> names() const;
    // Forgets the records kept so far (listeners stay).
    void clear() { records_.clear(); }

    // Returns an id for removeListener.
    std::size_t addListener(Listener listener);
    void removeListener(std::size_t id);

private:
    std::vector<PWCallRecord> records_;
    std::map<std::size_t, Listener> listeners_;
    std::size_t lastListenerId_ = 0;
};
