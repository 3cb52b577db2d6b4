#pragma once

// The IPC floors: the plainest way a competent engineer would do what
// "VLIPC.Lists" and an empty message do over the same socket, with the same
// libraries, nothing cached between calls, and a wire format our own client
// and server understand (the check before each benchmark, and the test,
// make each side decode the other).
//
// Server: per connection, read the request frame into one buffer, run the
// handler (for the lists: one read-only SQLite open with our flags, one
// prepared statement, each title UTF-8-checked and appended to one buffer
// with offsets, as our handler must return every title), encode the reply
// as a real binary property list in one pass, send it with one sendmsg,
// close. Threads wait in one epoll loop, as ours do.
//
// Client: one blocking socket, the request's constant bytes sent, the whole
// reply frame read into one buffer, the titles scanned out of it as views
// (UTF-16 ones converted into one side buffer), as an app needs them.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "FloorListRead.h"

namespace bench {

// A reply frame whole in one buffer: as the server writes it, or as the
// client reads it.
struct FloorReply {
    std::unique_ptr<char[]> bytes;
    std::size_t size = 0;
    std::string_view payload() const { return size > 4 ? std::string_view(bytes.get() + 4, size - 4) : std::string_view(); }
};

// The whole reply frame (header and payload) of {"reply": {"lists": titles}},
// or of {"reply": {}} when `titles` is null, written in one pass into `frame`.
void floorEncodeReply(const ListTitles* titles, FloorReply& frame);

// The titles of a reply frame's payload {"reply": {"lists": [...]}}: views
// into `payload`, or into `side` for UTF-16 ones (reserved up front, so
// views stay valid). False when it is not such a reply.
bool floorScanReply(std::string_view payload, std::vector<std::string_view>& titles, std::string& side);

class FloorServer {
public:
    // Answers every request whose payload names `messageName` with the
    // frame `reply` builds. `threads` wait in one epoll instance.
    FloorServer(const std::string& path, int threads, std::string messageName,
                std::function<void(FloorReply& frame)> reply);
    ~FloorServer();
    bool ok() const { return listenFd_ >= 0; }

private:
    void loop();
    std::string path_;
    std::string name_;
    std::function<void(FloorReply&)> reply_;
    int listenFd_ = -1;
    int epollFd_ = -1;
    int stopFd_ = -1;
    std::vector<std::thread> threads_;
};


// The floor client: sends `request` (a whole frame) to `path` and reads the
// reply frame; false on any failure.
bool floorExchange(const std::string& path, const std::string& request, FloorReply& reply);

}  // namespace bench
