#include "HistoryFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include <readline/history.h>

#include "FileDescriptor.h"

namespace fs = std::filesystem;

namespace sim {
namespace {

// The file a chain of links ends at (the path itself when it is none);
// absent for a loop or a chain too long to be meant.
std::optional<fs::path> resolveLinks(fs::path path) {
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code ec;
        if (!fs::is_symlink(fs::symlink_status(path, ec))) return path;
        fs::path target = fs::read_symlink(path, ec);
        if (ec) return std::nullopt;
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> historyFileProblem(const std::string& path) {
    springboard::FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!fd) {
        if (errno == ENOENT) return std::nullopt;  // the first session makes it
        return "cannot read the history file " + path + ": " + std::strerror(errno);
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) return "cannot read the history file " + path + ": " + std::strerror(errno);
    if (!S_ISREG(info.st_mode)) return "the history file " + path + " is not a regular file";
    return std::nullopt;
}

std::optional<std::string> loadHistory(const std::string& path) {
    if (auto problem = historyFileProblem(path)) return problem;
    read_history(path.c_str());  // absent: nothing to load yet
    return std::nullopt;
}

std::optional<std::string> saveHistory(const std::string& path, int lines) {
    if (auto problem = historyFileProblem(path)) return problem;
    auto target = resolveLinks(path);
    if (!target) return "cannot save the history: " + path + " is a loop of links";
    const std::string cannot = "cannot save the history to " + target->string() + ": ";
    // A file its owner made read-only is left so, though the rename could replace it.
    if (::access(target->c_str(), F_OK) == 0 && ::access(target->c_str(), W_OK) != 0) return cannot + std::strerror(errno);

    std::string temporary = (target->parent_path() / ("." + target->filename().string() + ".XXXXXX")).string();
    {
        springboard::FileDescriptor reserved(::mkstemp(temporary.data()));
        if (!reserved) return cannot + std::strerror(errno);
    }
    // readline writes a new file in the temporary's place (with its own
    // mode), so the mode and the flush come after it.
    struct stat old {};
    const mode_t mode = ::stat(target->c_str(), &old) == 0 ? (old.st_mode & 07777) : 0600;
    stifle_history(lines);
    int status = write_history(temporary.c_str());
    if (status == 0 && ::chmod(temporary.c_str(), mode) != 0) status = errno;
    if (status == 0) {
        springboard::FileDescriptor written(::open(temporary.c_str(), O_RDONLY | O_CLOEXEC));
        if (!written || ::fsync(written.get()) != 0) status = errno;
    }
    if (status == 0 && ::rename(temporary.c_str(), target->c_str()) != 0) status = errno;
    if (status != 0) {
        ::unlink(temporary.c_str());
        return cannot + std::strerror(status);
    }
    return std::nullopt;
}

}  // namespace sim
