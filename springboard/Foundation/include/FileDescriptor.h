#pragma once

// The platform's file-descriptor handle, and the reads every file the system
// looks at goes through. A FIFO, socket, device node or directory found
// where a file is expected (by accident or by a hostile app) is unreadable:
// nothing here ever blocks on one or reads one without end.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace springboard {

// Owns one descriptor; closes it when it goes. -1 holds nothing.
class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() { reset(); }
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.release()) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void reset(int fd = -1);

private:
    int fd_ = -1;
};

// The read-only descriptor of the regular file at `path` (symbolic links
// followed), opened without blocking; holds nothing when there is none.
FileDescriptor openRegularFile(const std::string& path);

// The whole content of the regular file at `path`; absent when it is missing,
// unreadable, no regular file, or longer than `maxBytes`.
std::optional<std::string> readRegularFile(const std::string& path, std::size_t maxBytes);

// Whether `path` (symbolic links followed) is a regular file, checked through
// a non-blocking open, so that a FIFO there does not hang the caller.
bool isRegularFile(const std::string& path);

// Writes all of `bytes` to the blocking descriptor `fd`, going on after a
// short write or a signal; false when a write fails or writes nothing.
bool writeAll(int fd, std::string_view bytes);

}  // namespace springboard
