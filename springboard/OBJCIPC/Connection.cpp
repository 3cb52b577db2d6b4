#include "Connection.h"

#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <utility>

#include "HandlerTable.h"

namespace objcipc {

namespace {
// Most requests arrive whole, header and payload, in one read of this size.
constexpr std::size_t kFirstRead = 16 * 1024;
// Replies longer than this get a socket buffer of their own size.
constexpr std::size_t kLargeReply = 64 * 1024;
}  // namespace

Connection::Connection(springboard::FileDescriptor socket, std::uint64_t id, Clock::time_point now,
                       const Limits& limits)
    : socket_(std::move(socket)),
      id_(id),
      limits_(limits),
      expires_(now + limits.lifetime),
      deadline_(std::min(now + limits.idleTimeout, expires_)) {}

void Connection::reserve(std::size_t size) {
    if (capacity_ >= size) return;
    std::unique_ptr<char[]> bigger(new char[size]);
    if (filled_ > 0) std::memcpy(bigger.get(), in_.get(), filled_);
    in_ = std::move(bigger);
    capacity_ = size;
}

bool Connection::parseHeader() {
    if (frameSize_ > 0 || filled_ < kFrameHeaderSize) return true;
    const auto length = decodeFrameHeader(reinterpret_cast<const unsigned char*>(in_.get()));
    if (!length) return false;
    frameSize_ = kFrameHeaderSize + *length;
    return true;
}

Connection::Step Connection::read() {
    for (;;) {
        // Anything malformed or oversized ends the connection; the peer
        // learns of it by the closed socket.
        if (!parseHeader()) return Step::Close;
        if (frameSize_ > 0 && announced() > kSmallRequest && held_.request == 0) return Step::NeedBudget;
        if (frameSize_ > 0 && filled_ >= frameSize_) return Step::Whole;

        // Past the first read, exactly the rest of this frame is read.
        const std::size_t want = frameSize_ > 0 ? frameSize_ : kFirstRead;
        reserve(want);
        const ssize_t n = ::recv(socket_.get(), in_.get() + filled_, want - filled_, MSG_DONTWAIT);
        if (n > 0) {
            filled_ += static_cast<std::size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return Step::WaitForInput;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            return Step::Close;  // end of file (maybe mid-frame) or an error
        }
    }
}

bool Connection::decode() {
    std::optional<Dictionary> body =
        decodeFramePayload(std::string_view(in_.get() + kFrameHeaderSize, frameSize_ - kFrameHeaderSize));
    request_ = body ? requestFromBody(*body) : std::nullopt;
    // Bytes of a next request read along with this one move to the front.
    const std::size_t rest = filled_ - frameSize_;
    std::memmove(in_.get(), in_.get() + frameSize_, rest);
    filled_ = rest;
    frameSize_ = 0;
    if (rest == 0 && capacity_ > kFirstRead) {  // a large request's buffer goes
        in_.reset();
        capacity_ = 0;
    }
    return request_.has_value();
}

std::size_t Connection::answer(Clock::time_point now) {
    Request request = std::move(*request_);
    request_.reset();
    last_ = request.last;
    std::optional<Dictionary> reply;
    std::string error = "no handler for " + request.name;
    if (const auto handler = handlerForMessageName(request.name)) {
        try {
            reply = (*handler)(request.message);
        } catch (const std::bad_alloc&) {
            throw;  // no answer can be built either: the connection goes
        } catch (const std::exception& exception) {
            error = "handler for " + request.name + " failed: " + exception.what();
        } catch (...) {
            error = "handler for " + request.name + " failed";
        }
    }
    out_ = encodeReplyFrame(reply ? &*reply : nullptr, error);
    if (out_.size - kFrameHeaderSize > kMaxReplyPayload) out_ = encodeReplyFrame(nullptr, kReplyTooLarge);
    if (out_.size > kLargeReply) {
        // A reply larger than the socket's buffer went out in pieces, each
        // after the app had read the last and a worker had woken for it.
        // Room for the whole reply (as far as the system allows) sends it in
        // one go.
        const int size = static_cast<int>(out_.size);
        ::setsockopt(socket_.get(), SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
    }
    sent_ = 0;
    deadline_ = std::min(now + limits_.idleTimeout, expires_);
    return out_.size;
}

Connection::Step Connection::write() {
    while (sent_ < out_.size) {
        const ssize_t n = ::send(socket_.get(), out_.bytes.get() + sent_, out_.size - sent_, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent_ += static_cast<std::size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return Step::WaitForOutput;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            return Step::Close;
        }
    }
    out_ = EncodedFrame();
    sent_ = 0;
    return Step::Whole;
}

Connection::Step Connection::afterReply(Clock::time_point now) {
    // A keep-alive client gets a worker for one request at a time, and a
    // connection is not kept forever.
    if (last_ || ++served_ >= limits_.maxRequests || now >= expires_) return Step::Close;
    deadline_ = std::min(now + limits_.idleTimeout, expires_);
    if (!parseHeader()) return Step::Close;
    return frameSize_ > 0 && filled_ >= frameSize_ ? Step::Whole : Step::WaitForInput;
}

}  // namespace objcipc
