#include "FileDescriptor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace springboard {

void FileDescriptor::reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
}

bool writeAll(int fd, std::string_view bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

namespace {

// The open descriptor and what fstat said of it, so a reader needs no
// second fstat for the size.
FileDescriptor openRegularFile(const std::string& path, struct stat& st) {
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a
    // writer before fstat could tell us what it is.
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!fd || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return FileDescriptor();
    return fd;
}

}  // namespace

FileDescriptor openRegularFile(const std::string& path) {
    struct stat st {};
    return openRegularFile(path, st);
}

std::optional<std::string> readRegularFile(const std::string& path, std::size_t maxBytes) {
    struct stat st {};
    FileDescriptor fd = openRegularFile(path, st);
    if (!fd || static_cast<std::uint64_t>(st.st_size) > maxBytes) return std::nullopt;
    std::string bytes;
    // One byte beyond the size, so the read that finds the end needs no
    // growth of the buffer.
    bytes.resize(static_cast<std::size_t>(st.st_size) + 1);
    std::size_t done = 0;
    // The file may grow while we read: read on to its end, up to the bound.
    for (;;) {
        if (done == bytes.size()) {
            if (bytes.size() > maxBytes) return std::nullopt;
            bytes.resize(bytes.size() + 4096);
        }
        const ssize_t n = ::read(fd.get(), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
        // A regular file reads short only at its end: no read to confirm it.
        if (done < bytes.size()) break;
    }
    if (done > maxBytes) return std::nullopt;
    bytes.resize(done);
    return bytes;
}

bool isRegularFile(const std::string& path) { return static_cast<bool>(openRegularFile(path)); }

}  // namespace springboard
