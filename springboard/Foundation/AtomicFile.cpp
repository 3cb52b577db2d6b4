#include "AtomicFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "FileDescriptor.h"

namespace springboard {

namespace {

std::string directoryOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Writers take turns through a lock on the directory: it is never renamed or
// removed under them, and no lock file is left lying beside the target.
FileDescriptor takeTurn(const std::string& directory) {
    FileDescriptor lock(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!lock) return lock;
    int locked;
    while ((locked = ::flock(lock.get(), LOCK_EX)) != 0 && errno == EINTR) {
    }
    return locked == 0 ? std::move(lock) : FileDescriptor();
}

}  // namespace

bool writeFileAtomically(const std::string& path, std::string_view bytes, mode_t newFileMode) {
    if (path.empty()) return false;
    const std::string directory = directoryOf(path);
    const FileDescriptor turn = takeTurn(directory);
    if (!turn) return false;

    // Keep the mode of the file we replace (a link there is replaced too,
    // as rename does, so its target's mode is of no concern).
    mode_t mode = newFileMode & 07777;
    struct stat existing {};
    if (::lstat(path.c_str(), &existing) == 0) {
        if (S_ISDIR(existing.st_mode)) return false;
        if (S_ISREG(existing.st_mode)) mode = existing.st_mode & 07777;
    }

    // Whatever is at the temporary name is stale: a file from a killed
    // writer, or something planted there to be written through.
    const std::string temporaryPath = path + ".tmp";
    if (::unlink(temporaryPath.c_str()) != 0 && errno != ENOENT) return false;
    FileDescriptor fd(::open(temporaryPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!fd) return false;
    const bool ok = ::fchmod(fd.get(), mode) == 0 && writeAll(fd.get(), bytes) && ::fsync(fd.get()) == 0 &&
                    ::close(fd.release()) == 0 && ::rename(temporaryPath.c_str(), path.c_str()) == 0;
    if (!ok) {
        ::unlink(temporaryPath.c_str());
        return false;
    }
    ::fsync(turn.get());  // the rename is only durable once the directory entry is on disk too
    return true;
}

}  // namespace springboard
