#include "RequestBudget.h"

namespace objcipc {

bool RequestBudget::tryTake(std::size_t bytes) {
    if (used_ > 0 && (bytes > limit_ || used_ > limit_ - bytes)) return false;
    used_ += bytes;
    return true;
}

RequestBudget::Expectation RequestBudget::expect(const std::string& name) {
    const auto [it, added] = replies_.try_emplace(name, kLearning);
    if (added) return {Expectation::State::New, 0};
    if (it->second == kLearning) return {Expectation::State::Learning, 0};
    return {Expectation::State::Known, it->second};
}

void RequestBudget::learn(const std::string& name, std::size_t bytes, std::size_t small) {
    replies_[name] = bytes > small ? bytes : 0;
}

void RequestBudget::forget(const std::string& name) {
    const auto it = replies_.find(name);
    if (it != replies_.end() && it->second == kLearning) replies_.erase(it);
}

}  // namespace objcipc
