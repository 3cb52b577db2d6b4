#pragma once

// Ownership of something registered with a process-wide table (a log sink, a
// notification post listener): the registration lasts exactly as long as this
// object, so nothing can outlive the object its callback captures.

#include <functional>
#include <utility>

namespace springboard {

class [[nodiscard]] Registration {
public:
    Registration() = default;
    explicit Registration(std::function<void()> unregister) : unregister_(std::move(unregister)) {}
    Registration(Registration&& other) noexcept : unregister_(std::exchange(other.unregister_, nullptr)) {}
    Registration& operator=(Registration&& other) noexcept {
        if (this != &other) {
            reset();
            unregister_ = std::exchange(other.unregister_, nullptr);
        }
        return *this;
    }
    Registration(const Registration&) = delete;
    Registration& operator=(const Registration&) = delete;
    ~Registration() { reset(); }

    // Unregisters now; afterwards this holds nothing.
    void reset() {
        if (auto unregister = std::exchange(unregister_, nullptr)) unregister();
    }

private:
    std::function<void()> unregister_;
};

}  // namespace springboard
