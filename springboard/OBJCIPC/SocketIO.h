#pragma once

// Blocking-with-deadline I/O on the IPC Unix-domain sockets, shared by the
// server and the client. Every wait also ends when `stopFd` (a pipe's read
// end, or -1 for none) becomes readable.

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>

#include "Value.h"

namespace objcipc {

using Clock = std::chrono::steady_clock;

// DEVICE/var/run/objcipc.sock.
std::string socketPathForDevice(const std::string& deviceRoot);

// Binds a new listening socket (SOCK_CLOEXEC) at `path`; -1 on failure with
// errno set. Paths too long for sockaddr_un are reached through the
// directory's /proc/self/fd entry.
int bindUnixSocket(const std::string& path);

// A connected, non-blocking socket to `path`, or -1 when nobody listens
// there or the deadline passes first.
int connectUnixSocket(const std::string& path, Clock::time_point deadline);

// Reads one whole frame. Absent on end of file, a malformed or oversized
// frame, an I/O error, the deadline or a stop.
std::optional<Dictionary> readFrame(int fd, Clock::time_point deadline, int stopFd);

// Writes all of `bytes`; false on error, the deadline or a stop.
bool writeAll(int fd, const std::string& bytes, Clock::time_point deadline, int stopFd);

}  // namespace objcipc
