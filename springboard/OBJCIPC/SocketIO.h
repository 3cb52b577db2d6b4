#pragma once

// Blocking-with-deadline I/O on the IPC Unix-domain sockets, shared by the
// server and the client. Every wait also ends when `stopFd` (a pipe's read
// end, or -1 for none) becomes readable.

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

enum class ReadStatus { Ok, Closed, TimedOut, Stopped, Oversized, Malformed, Failed };

struct FrameRead {
    ReadStatus status = ReadStatus::Failed;
    std::optional<Dictionary> body;  // only with Ok
};

// Reads one whole frame whose payload is at most `maxPayload` bytes. A small
// frame usually arrives in one recv, header and payload together.
FrameRead readFrame(int fd, Clock::time_point deadline, int stopFd, std::size_t maxPayload);

// Writes all of `bytes`; false on error, the deadline or a stop.
bool writeAll(int fd, const std::string& bytes, Clock::time_point deadline, int stopFd);

}  // namespace objcipc
