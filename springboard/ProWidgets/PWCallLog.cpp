#include "PWCallLog.h"

void PWCallLog::record(PWCallRecord record) {
    records_.push_back(std::move(record));
    if (listeners_.empty()) return;
    // Copies: a listener may change the listeners, and a later record may
    // reallocate records_ while a listener still runs.
    const PWCallRecord recorded = records_.back();
    const auto listeners = listeners_;
    for (const auto& [id, listener] : listeners) listener(recorded);
}

std::vector<std::string> PWCallLog::names() const {
    std::vector<std::string> names;
    names.reserve(records_.size());
    for (const auto& record : records_) names.push_back(record.name);
    return names;
}

std::size_t PWCallLog::addListener(Listener listener) {
    listeners_.emplace(++lastListenerId_, std::move(listener));
    return lastListenerId_;
}

void PWCallLog::removeListener(std::size_t id) { listeners_.erase(id); }
