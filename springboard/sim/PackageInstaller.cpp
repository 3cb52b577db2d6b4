#include "PackageInstaller.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <system_error>
#include <vector>

#include "BuiltPackage.h"
#include "DebianPackage.h"
#include "FileDescriptor.h"

namespace fs = std::filesystem;

namespace sim {
namespace {

enum class Found { Absent, Directory, Other };

Found lookUp(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) return Found::Absent;
    return S_ISDIR(info.st_mode) ? Found::Directory : Found::Other;
}

// Whether every folder on the way to `relative` under `root` is absent or a
// real directory (a symbolic link there could lead anywhere).
bool foldersOnTheWayAreReal(const std::string& root, const std::string& relative, std::string* blocker) {
    for (std::size_t slash = relative.find('/'); slash != std::string::npos; slash = relative.find('/', slash + 1)) {
        std::string folder = relative.substr(0, slash);
        Found found = lookUp(root + "/" + folder);
        if (found == Found::Absent) return true;
        if (found == Found::Other) {
            *blocker = folder;
            return false;
        }
    }
    return true;
}

bool writeNewFile(const std::string& path, const std::string& content, unsigned mode, std::string* why) {
    springboard::FileDescriptor fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
    if (!fd) {
        *why = std::strerror(errno);
        return false;
    }
    std::size_t written = 0;
    while (written < content.size()) {
        ssize_t n = ::write(fd.get(), content.data() + written, content.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        written += static_cast<std::size_t>(n);
    }
    // Flushed before it is renamed into place, so a crash leaves the old file
    // or the new one, never a short one.
    bool ok = written == content.size() && ::fchmod(fd.get(), mode) == 0 && ::fsync(fd.get()) == 0;
    if (!ok) *why = std::strerror(errno ? errno : EIO);
    return ok;
}

// A staging folder inside the device, removed with everything in it.
class StagingFolder {
public:
    explicit StagingFolder(const std::string& device) {
        std::string pattern = device + "/.velmora-install-XXXXXX";
        if (::mkdtemp(pattern.data())) path_ = pattern;
    }
    ~StagingFolder() {
        std::error_code ec;
        if (!path_.empty()) fs::remove_all(path_, ec);
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

struct Staged {
    PackageEntry::Kind kind;
    std::string path;
    unsigned mode;
};

bool makeDirectory(const std::string& path, unsigned mode, std::string* why) {
    if (::mkdir(path.c_str(), mode) == 0 || (errno == EEXIST && lookUp(path) == Found::Directory)) return true;
    *why = std::strerror(errno);
    return false;
}

}  // namespace

std::optional<InstalledPackage> installPackage(const std::string& device, const std::string& packagePath,
                                               std::string* error) {
    auto fail = [&](const std::string& message) -> std::optional<InstalledPackage> {
        if (error) *error = message;
        return std::nullopt;
    };
    std::error_code ec;
    const std::string root = fs::absolute(device, ec).lexically_normal().string();
    if (lookUp(root) != Found::Directory || lookUp(root + "/var/mobile") != Found::Directory)
        return fail("no device at " + device + " (make one with: velmora-sim device create DIR)");

    auto package = DebianPackage::open(packagePath, error);
    if (!package) return std::nullopt;
    if (package->control().package != kPackageName)
        return fail(packagePath + ": the package is " + package->control().package + ", not " + kPackageName);

    StagingFolder staging(root);
    if (staging.path().empty()) return fail("cannot stage the install in " + device + ": " + std::strerror(errno));

    std::vector<Staged> staged;
    std::string why;
    bool unpacked = package->forEachEntry(
        [&](const PackageEntry& entry, const std::string& content, std::string* problem) {
            std::string target = staging.path() + "/" + entry.path;
            bool ok = true;
            fs::create_directories(fs::path(target).parent_path(), ec);
            if (entry.kind == PackageEntry::Kind::Directory) ok = makeDirectory(target, 0755, &why);
            else if (entry.kind == PackageEntry::Kind::File) ok = writeNewFile(target, content, entry.mode, &why);
            else if (::symlink(entry.linkTarget.c_str(), target.c_str()) != 0) ok = false, why = std::strerror(errno);
            if (!ok) {
                *problem = packagePath + ": cannot unpack \"" + entry.path + "\": " + why;
                return false;
            }
            staged.push_back({entry.kind, entry.path, entry.mode});
            return true;
        },
        error);
    if (!unpacked) return std::nullopt;
    std::string digest = package->contentDigest(error);
    if (digest.empty()) return std::nullopt;

    // Everything is checked against the device before anything moves, so a
    // refusal leaves it as it was.
    for (const auto& entry : staged) {
        std::string blocker;
        if (!foldersOnTheWayAreReal(root, entry.path, &blocker))
            return fail("cannot install " + entry.path + ": " + blocker + " in " + device + " is not a directory");
        Found found = lookUp(root + "/" + entry.path);
        bool wantDirectory = entry.kind == PackageEntry::Kind::Directory;
        if (found != Found::Absent && (found == Found::Directory) != wantDirectory)
            return fail("cannot install " + entry.path + ": " +
                        (wantDirectory ? entry.path + " in " + device + " is not a directory"
                                       : device + " holds a directory there"));
    }
    for (const char* folder : {"var/lib", "var/lib/velmora"}) {
        std::string blocker;
        if (lookUp(root + "/" + folder) == Found::Other || !foldersOnTheWayAreReal(root, std::string(folder) + "/", &blocker))
            return fail("cannot record the install: " + std::string(folder) + " in " + device + " is not a directory");
    }

    InstalledPackage installed{package->control().package, package->control().version,
                               package->control().architecture, digest, {}};
    for (const auto& entry : staged) {
        std::string from = staging.path() + "/" + entry.path, to = root + "/" + entry.path;
        if (entry.kind == PackageEntry::Kind::Directory) {
            if (lookUp(to) == Found::Absent && !makeDirectory(to, entry.mode | 0700, &why))
                return fail("cannot install " + entry.path + ": " + why);
            continue;
        }
        fs::create_directories(fs::path(to).parent_path(), ec);
        if (::rename(from.c_str(), to.c_str()) != 0)
            return fail("cannot install " + entry.path + ": " + std::strerror(errno));
        installed.files.push_back(entry.path);
    }

    // What the previous install placed and this one does not, as dpkg
    // removes files a package dropped.
    if (auto previous = readInstalledPackage(root)) {
        std::set<std::string> current(installed.files.begin(), installed.files.end());
        for (const auto& file : previous->files) {
            std::string blocker;
            if (current.count(file) || file.empty() || file.front() == '/' || file.find("..") != std::string::npos ||
                !foldersOnTheWayAreReal(root, file, &blocker) || lookUp(root + "/" + file) != Found::Other)
                continue;
            ::unlink((root + "/" + file).c_str());
        }
    }

    for (const char* folder : {"var/lib", "var/lib/velmora"})
        if (lookUp(root + "/" + folder) == Found::Absent && !makeDirectory(root + "/" + folder, 0755, &why))
            return fail("cannot record the install in " + device + ": " + why);
    if (!writeInstalledPackage(root, installed)) return fail("cannot record the install in " + device + "/" + kPackageStatusFile);
    return installed;
}

}  // namespace sim
