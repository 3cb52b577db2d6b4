#include "DeviceLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>

namespace sim {
namespace {

constexpr const char* kServeWord = "serve";
constexpr const char* kInstallWord = "install";

// var/run of the device, made when missing; a link there could lead anywhere,
// so only a real directory will do.
springboard::FileDescriptor runDirectory(const std::string& device, std::string* why) {
    springboard::FileDescriptor root(::open(device.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!root) return *why = std::strerror(errno), springboard::FileDescriptor();
    springboard::FileDescriptor current = std::move(root);
    for (const char* name : {"var", "run"}) {
        if (::mkdirat(current.get(), name, 0755) != 0 && errno != EEXIST)
            return *why = std::string("cannot make ") + name + ": " + std::strerror(errno), springboard::FileDescriptor();
        springboard::FileDescriptor next(::openat(current.get(), name, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!next) return *why = std::string(name) + " is not a directory", springboard::FileDescriptor();
        current = std::move(next);
    }
    return current;
}

// Who holds the lock, from its record; absent while the record is empty (the
// holder has only just taken the lock, or is just letting it go).
std::optional<std::string> holderOf(int fd) {
    char text[64] = {};
    ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
    if (n <= 0) return std::nullopt;
    long pid = 0;
    char word[16] = {};
    if (std::sscanf(text, "%ld %15s", &pid, word) == 2 && pid > 0) {
        const std::string who = " (pid " + std::to_string(pid) + ")";
        if (std::strcmp(word, kServeWord) == 0) return "a SpringBoard" + who + " is serving it";
        if (std::strcmp(word, kInstallWord) == 0) return "a package install" + who + " is changing it";
    }
    return std::nullopt;
}

}  // namespace

std::unique_ptr<DeviceLock> DeviceLock::acquire(const std::string& device, Purpose purpose, std::string* error) {
    std::string why;
    springboard::FileDescriptor run = runDirectory(device, &why);
    if (!run) {
        if (error) *error = "cannot lock " + device + ": var/run: " + why;
        return nullptr;
    }
    springboard::FileDescriptor fd(::openat(run.get(), "velmora.lock", O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644));
    struct stat info {};
    if (!fd || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        if (error) *error = "cannot lock " + device + ": " + kDeviceLockFile + " is no file it can open";
        return nullptr;
    }
    for (int attempt = 0; ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0; ++attempt) {
        if (errno != EWOULDBLOCK) {
            if (error) *error = "cannot lock " + device + ": " + std::strerror(errno);
            return nullptr;
        }
        auto holder = holderOf(fd.get());
        if (holder || attempt == 50) {
            if (error) *error = holder ? *holder : std::string("another process holds its lock (") + kDeviceLockFile + ")";
            return nullptr;
        }
        ::usleep(1000);
    }
    const std::string record = std::to_string(::getpid()) + " " +
                               (purpose == Purpose::Serve ? kServeWord : kInstallWord) + "\n";
    // The lock holds without the record too; a refused process then says less.
    if (::ftruncate(fd.get(), 0) == 0) (void)!::pwrite(fd.get(), record.data(), record.size(), 0);
    return std::unique_ptr<DeviceLock>(new DeviceLock(std::move(fd)));
}

DeviceLock::~DeviceLock() {
    // Closing releases the lock whatever the record says.
    if (fd_) (void)!::ftruncate(fd_.get(), 0);
}

}  // namespace sim
