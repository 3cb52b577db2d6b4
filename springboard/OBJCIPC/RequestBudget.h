#pragma once

// Bytes of large requests and large replies in flight, shared by every
// connection: a hostile request can decode to a hundred times its size and a
// reply may be tens of megabytes, so large ones take turns within one limit
// while small ones never wait. Not synchronised: the server's lock guards it.

#include <cstddef>
#include <string>
#include <unordered_map>

namespace objcipc {

class RequestBudget {
public:
    explicit RequestBudget(std::size_t limit) : limit_(limit) {}

    // Takes `bytes` when they fit beside what is taken, or when nothing is
    // taken (so one request or reply larger than the limit still passes,
    // alone). False, taking nothing, otherwise.
    bool tryTake(std::size_t bytes);
    // Takes `bytes` whether or not they fit: a reply already built.
    void take(std::size_t bytes) { used_ += bytes; }
    void give(std::size_t bytes) { used_ -= bytes < used_ ? bytes : used_; }
    std::size_t used() const { return used_; }
    std::size_t limit() const { return limit_; }

    // What a reply to `name` is expected to take, learned from its last
    // reply: 0 for small ones. A name seen for the first time runs alone
    // (`learning`): until its first reply is built nobody knows its size.
    struct Expectation {
        enum class State { New, Learning, Known } state = State::New;
        std::size_t bytes = 0;  // for Known
    };
    // New the first time (the caller learns it, and must learn() or
    // forget()), Learning until then.
    Expectation expect(const std::string& name);
    // The reply to `name` took `bytes`; small ones are remembered as 0.
    void learn(const std::string& name, std::size_t bytes, std::size_t small);
    // A reply to a name being learned was never built.
    void forget(const std::string& name);

private:
    static constexpr std::size_t kLearning = static_cast<std::size_t>(-1);
    std::size_t limit_;
    std::size_t used_ = 0;
    // Only names with a handler come here, so it stays as small as the
    // handler table.
    std::unordered_map<std::string, std::size_t> replies_;
};

}  // namespace objcipc
