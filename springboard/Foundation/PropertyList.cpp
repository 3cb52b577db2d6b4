#include "PropertyList.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "PlistCodec.h"

namespace {

// Larger files are no settings or preferences file of ours; refusing them
// keeps a stray device file from being read whole into memory.
constexpr off_t kMaxPropertyListFile = 64 * 1024 * 1024;

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    int release() {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

std::optional<std::string> readWholeFile(const std::string& path) {
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) return std::nullopt;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxPropertyListFile) return std::nullopt;
    std::string bytes;
    char buffer[64 * 1024];
    for (;;) {
        ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) break;
        bytes.append(buffer, static_cast<std::size_t>(n));
        if (static_cast<off_t>(bytes.size()) > kMaxPropertyListFile) return std::nullopt;
    }
    return bytes;
}

bool writeAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::string directoryOf(const std::string& path) {
    auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The rename is only durable once the directory entry is on disk too.
void syncDirectory(const std::string& directory) {
    FileDescriptor fd(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() >= 0) ::fsync(fd.get());
}

// Opens the temporary file of an atomic write to `path` and takes its lock.
// The name is fixed, so a writer killed midway leaves at most this one file
// behind and the next write reuses it. Writers take turns through the lock;
// once it is ours, the name must still lead to the locked file, since the
// writer before us may have renamed it into place (or removed it) meanwhile.
int lockedTemporaryFile(const std::string& temporaryPath) {
    for (;;) {
        FileDescriptor fd(::open(temporaryPath.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644));
        if (fd.get() < 0) return -1;
        int locked;
        while ((locked = ::flock(fd.get(), LOCK_EX)) != 0 && errno == EINTR) {
        }
        if (locked != 0) return -1;
        struct stat held {}, named {};
        if (::fstat(fd.get(), &held) != 0) return -1;
        if (::lstat(temporaryPath.c_str(), &named) == 0 && named.st_ino == held.st_ino && named.st_dev == held.st_dev)
            return fd.release();
    }
}

bool writeAtomically(const std::string& bytes, const std::string& path) {
    const std::string temporaryPath = path + ".tmp";
    FileDescriptor fd(lockedTemporaryFile(temporaryPath));
    if (fd.get() < 0) return false;
    // The lock is held until the rename is done, and dropped by the close.
    bool ok = ::ftruncate(fd.get(), 0) == 0 && ::fchmod(fd.get(), 0644) == 0 && writeAll(fd.get(), bytes) &&
              ::fsync(fd.get()) == 0;
    ok = ok && ::rename(temporaryPath.c_str(), path.c_str()) == 0;
    if (!ok) {
        ::unlink(temporaryPath.c_str());
        return false;
    }
    ::close(fd.release());
    syncDirectory(directoryOf(path));
    return true;
}

bool writeInPlace(const std::string& bytes, const std::string& path) {
    FileDescriptor fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (fd.get() < 0) return false;
    return writeAll(fd.get(), bytes) && ::close(fd.release()) == 0;
}

}  // namespace

std::optional<Dictionary> dictionaryWithContentsOfFile(const std::string& path) {
    auto bytes = readWholeFile(path);
    if (!bytes) return std::nullopt;
    return springboard::parsePropertyListDictionary(bytes->data(), bytes->size());
}

bool writeToFile(const Dictionary& dictionary, const std::string& path, bool atomically) {
    if (path.empty()) return false;
    std::string bytes = springboard::xmlPropertyList(Value(dictionary));
    if (bytes.empty()) return false;
    return atomically ? writeAtomically(bytes, path) : writeInPlace(bytes, path);
}
