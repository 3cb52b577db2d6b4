#pragma once

// One app's connection to the server: its socket, the request being read,
// the reply being sent and its deadlines. Its steps never block and take
// the time as an argument, so a test drives them over a socketpair with a
// clock of its own. Not synchronised: one worker holds it at a time.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "FileDescriptor.h"
#include "Frame.h"
#include "ReplyEncoder.h"

namespace objcipc {

class Connection {
public:
    using Clock = std::chrono::steady_clock;

    struct Limits {
        std::chrono::milliseconds idleTimeout{10000};
        std::chrono::milliseconds lifetime{60000};
        std::size_t maxRequests = 1000;
    };

    enum class Step {
        WaitForInput,   // the socket has nothing more yet
        WaitForOutput,  // the socket takes no more of the reply yet
        NeedBudget,     // a request longer than kSmallRequest is announced: take held().request before reading on
        Whole,          // a whole request is buffered: decode() it
        Close,          // the peer is gone, sent something malformed, or is done
    };

    // Requests longer than this wait for budget before they are read.
    static constexpr std::size_t kSmallRequest = 64 * 1024;

    Connection(springboard::FileDescriptor socket, std::uint64_t id, Clock::time_point now, const Limits& limits);

    std::uint64_t id() const { return id_; }
    int fd() const { return socket_.get(); }
    // The request (or the reply) must complete by then, or the connection goes.
    Clock::time_point deadline() const { return deadline_; }

    // Reads on until a step is reached.
    Step read();
    // The payload length announced, once the header is in.
    std::size_t announced() const { return frameSize_ > 0 ? frameSize_ - kFrameHeaderSize : 0; }
    // Budget bytes this connection holds, for its request and its reply;
    // release() hands them all back.
    struct Held {
        std::size_t request = 0, reply = 0;
    };
    Held& held() { return held_; }
    Held release() { return std::exchange(held_, Held{}); }
    // The name whose first reply this connection is building, if any.
    std::string learning;

    // Decodes the whole request buffered and drops its bytes; false when it
    // is malformed. The request stays until answer().
    bool decode();
    // The request decoded and not yet answered, if any.
    const std::optional<Request>& request() const { return request_; }

    // Runs the handler registered for the request, then encodes its reply
    // (or the error marker) to send; returns the reply's length.
    std::size_t answer(Clock::time_point now);
    // Sends what is left of the reply: Whole once all of it is out.
    Step write();
    bool sending() const { return out_.size > 0; }

    // After a reply: Close at the request or lifetime limit, or after a
    // request marked last; Whole when the next request is already buffered;
    // else WaitForInput.
    Step afterReply(Clock::time_point now);

    // Whether a worker holds it (kept here for the table's sweep).
    bool busy = false;
    // Whether the poller knows its descriptor.
    bool registered = false;
    // The server's count of wakes of parked connections when this one last
    // found no budget.
    std::uint64_t budgetWakesSeen = 0;

private:
    void reserve(std::size_t size);
    bool parseHeader();

    springboard::FileDescriptor socket_;
    std::uint64_t id_;
    Limits limits_;
    Clock::time_point expires_;
    Clock::time_point deadline_;
    // Request bytes read; the first `filled_` are real. Never zero-filled:
    // every byte read is written by recv first, so clearing the buffer for
    // each message would only add work to the hot path.
    std::unique_ptr<char[]> in_;
    std::size_t capacity_ = 0;
    std::size_t filled_ = 0;
    std::size_t frameSize_ = 0;  // header and payload, once the header is in
    std::optional<Request> request_;
    EncodedFrame out_;
    std::size_t sent_ = 0;
    std::size_t served_ = 0;
    bool last_ = false;
    Held held_;
};

}  // namespace objcipc
