#include "ScriptFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "FileDescriptor.h"

namespace sim {
namespace {

// Reads `fd` to its end, refusing more than kMaxScriptBytes.
std::optional<std::string> readAll(int fd, const std::string& name, std::string& error) {
    std::string text;
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = "cannot read the script " + name + ": " + std::strerror(errno);
            return std::nullopt;
        }
        if (n == 0) return text;
        if (text.size() + static_cast<std::size_t>(n) > kMaxScriptBytes) {
            error = "the script " + name + " is larger than " + std::to_string(kMaxScriptBytes >> 20) + " MiB";
            return std::nullopt;
        }
        text.append(buffer, static_cast<std::size_t>(n));
    }
}

}  // namespace

std::optional<std::string> readScriptFile(const std::string& path, std::string& error) {
    if (path == "-") return readAll(STDIN_FILENO, "on standard input", error);
    // Non-blocking, so a FIFO with no writer cannot hold the open up.
    springboard::FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) {
        error = "cannot read the script " + path + ": " + std::strerror(errno);
        return std::nullopt;
    }
    struct stat info {};
    std::optional<std::string> text;
    if (::fstat(fd.get(), &info) != 0) {
        error = "cannot read the script " + path + ": " + std::strerror(errno);
    } else if (S_ISDIR(info.st_mode)) {
        error = "the script " + path + " is a directory";
    } else if (!S_ISREG(info.st_mode) && !S_ISFIFO(info.st_mode) && !S_ISCHR(info.st_mode)) {
        error = "the script " + path + " is neither a file nor a pipe";
    } else if (S_ISREG(info.st_mode) && static_cast<std::size_t>(info.st_size) > kMaxScriptBytes) {
        error = "the script " + path + " is larger than " + std::to_string(kMaxScriptBytes >> 20) + " MiB";
    } else {
        // Shells hand scripts over as pipes (`<(...)`, /dev/stdin) and
        // devices (/dev/null); those are read as they come, up to the limit.
        int flags = ::fcntl(fd.get(), F_GETFL);
        if (flags >= 0) ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);
        text = readAll(fd.get(), path, error);
    }
    return text;
}

}  // namespace sim
