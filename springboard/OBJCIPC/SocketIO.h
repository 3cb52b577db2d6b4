#pragma once

// The IPC Unix-domain sockets: binding and connecting, shared by the server
// and the client, and the client's reads and writes with a deadline.

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>

#include "FileDescriptor.h"
#include "Value.h"

namespace objcipc {

using Clock = std::chrono::steady_clock;

// DEVICE/var/run/objcipc.sock.
std::string socketPathForDevice(const std::string& deviceRoot);

// Binds a new listening socket (SOCK_CLOEXEC) at `path`; holds nothing on
// failure, with errno set. Paths too long for sockaddr_un are reached through
// the directory's /proc/self/fd entry.
springboard::FileDescriptor bindUnixSocket(const std::string& path);

// A connected, non-blocking socket to `path`; holds nothing, with errno set,
// when nobody listens there (ENOENT, ECONNREFUSED), it may not be used
// (EACCES) or the deadline passes first (ETIMEDOUT).
springboard::FileDescriptor connectUnixSocket(const std::string& path, Clock::time_point deadline);

enum class ReadStatus { Ok, Closed, TimedOut, Oversized, Malformed, Failed };

struct FrameRead {
    ReadStatus status = ReadStatus::Failed;
    std::optional<Dictionary> body;  // only with Ok
};

// Reads one whole frame whose payload is at most `maxPayload` bytes from
// the non-blocking socket `fd`, which the peer is answering: it waits before
// reading, and a small frame then arrives in one recv, header and payload
// together.
FrameRead readFrame(int fd, Clock::time_point deadline, std::size_t maxPayload);

// Writes all of `bytes` to the non-blocking socket `fd`; false on error or
// at the deadline.
bool sendAll(int fd, const std::string& bytes, Clock::time_point deadline);

}  // namespace objcipc
