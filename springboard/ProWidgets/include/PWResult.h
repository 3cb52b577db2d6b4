#pragma once

#include <string>
#include <utility>

// The outcome of a host-side request: success, or a one-line reason why the
// host refused it (the simulator shows it as an "error" event).
class PWResult {
public:
    static PWResult success() { return PWResult(""); }
    static PWResult failure(std::string error) { return PWResult(error.empty() ? "refused" : std::move(error)); }

    bool ok() const { return error_.empty(); }
    explicit operator bool() const { return ok(); }
    // "" on success.
    const std::string& error() const { return error_; }

private:
    explicit PWResult(std::string error) : error_(std::move(error)) {}
    std::string error_;
};
