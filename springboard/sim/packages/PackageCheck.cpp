#include "PackageCheck.h"

#include <archive.h>
#include <archive_entry.h>

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>
#include <set>
#include <string_view>
#include <vector>

#include "FileDescriptor.h"

namespace sim {
namespace {

constexpr std::size_t kMaxControlBytes = 1u << 20;
constexpr const char* kMaintainerScripts[] = {"preinst", "postinst", "prerm", "postrm", "config"};

struct ArchiveDeleter {
    void operator()(archive* a) const { archive_read_free(a); }
};
using ArchivePtr = std::unique_ptr<archive, ArchiveDeleter>;

std::string archiveError(archive* a) {
    const char* text = archive_error_string(a);
    return text ? text : "unknown error";
}

// A refusal or a fault found while reading; the message is one line.
struct Problem {
    std::string text;
};

// "./a//b/" → "a/b"; "" for the root. Refuses absolute paths and "..".
std::string cleanPath(std::string_view raw) {
    if (!raw.empty() && raw.front() == '/') throw Problem{"\"" + std::string(raw) + "\" is an absolute path"};
    std::string clean;
    while (!raw.empty()) {
        std::size_t slash = raw.find('/');
        std::string_view part = raw.substr(0, slash);
        raw = slash == std::string_view::npos ? std::string_view() : raw.substr(slash + 1);
        if (part.empty() || part == ".") continue;
        if (part == "..") throw Problem{"\"" + clean + "/..\" has a \"..\" component"};
        if (!clean.empty()) clean += '/';
        clean += part;
    }
    return clean;
}

bool hasDotDotComponent(std::string_view path) {
    while (!path.empty()) {
        std::size_t slash = path.find('/');
        if (path.substr(0, slash) == "..") return true;
        path = slash == std::string_view::npos ? std::string_view() : path.substr(slash + 1);
    }
    return false;
}

std::string_view firstComponent(std::string_view path) { return path.substr(0, path.find('/')); }

bool isUserDataOrApps(std::string_view path) {
    std::string_view top = firstComponent(path);
    return top == "var" || top == "Applications";
}

std::string readCurrent(archive* a, std::size_t limit) {
    std::string bytes;
    char buffer[16384];
    for (;;) {
        la_ssize_t n = archive_read_data(a, buffer, sizeof buffer);
        if (n == 0) return bytes;
        if (n < 0) throw Problem{"damaged (" + archiveError(a) + ")"};
        if (bytes.size() + static_cast<std::size_t>(n) > limit) throw Problem{"its control member is too large"};
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
}

// Field names compare as dpkg compares them: without regard to case.
bool sameField(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return (x | 0x20) == (y | 0x20);
           });
}

PackageControl parseControl(std::string_view text) {
    PackageControl control;
    std::string* current = nullptr;
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!line.empty() && (line[0] == ' ' || line[0] == '\t')) {
            if (current) *current += " " + std::string(line.substr(1));
            continue;
        }
        std::size_t colon = line.find(':');
        current = nullptr;
        if (colon == std::string_view::npos) continue;
        std::string_view field = line.substr(0, colon), value = line.substr(colon + 1);
        while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
        while (!value.empty() && (value.back() == ' ' || value.back() == '\t' || value.back() == '\r')) value.remove_suffix(1);
        if (sameField(field, "Package")) current = &control.package;
        else if (sameField(field, "Version")) current = &control.version;
        else if (sameField(field, "Architecture")) current = &control.architecture;
        else if (sameField(field, "Depends") || sameField(field, "Pre-Depends")) {
            if (!control.depends.empty()) control.depends += ", ";
            control.depends += value;
            continue;
        }
        if (current) *current = value;
    }
    return control;
}

PackageControl readControlMember(const std::string& member) {
    ArchivePtr a(archive_read_new());
    archive_read_support_filter_all(a.get());
    archive_read_support_format_tar(a.get());
    if (archive_read_open_memory(a.get(), member.data(), member.size()) != ARCHIVE_OK)
        throw Problem{"damaged (its control member is no archive)"};
    std::optional<PackageControl> control;
    archive_entry* entry = nullptr;
    int status;
    while ((status = archive_read_next_header(a.get(), &entry)) == ARCHIVE_OK) {
        const char* raw = archive_entry_pathname(entry);
        std::string name = cleanPath(raw ? raw : "");
        for (const char* script : kMaintainerScripts)
            if (name == script) throw Problem{"it has a maintainer script (" + name + "), and devices run none"};
        if (name == "control") control = parseControl(readCurrent(a.get(), kMaxControlBytes));
    }
    if (status != ARCHIVE_EOF) throw Problem{"damaged (" + archiveError(a.get()) + ")"};
    if (!control) throw Problem{"damaged (its control member has no control file)"};
    if (control->package.empty() || control->version.empty())
        throw Problem{"its control file names no Package or no Version"};
    return *control;
}

// Where the device's own folders lead: a package may not be unpacked through
// a link that leaves the device or ends in its user data or apps.
class DeviceFolders {
public:
    explicit DeviceFolders(const std::string& device) : root_(::open(device.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC)) {
        char real[PATH_MAX];
        if (root_ && ::realpath(device.c_str(), real)) real_ = real;
        if (!root_ || real_.empty()) throw Problem{"cannot open the device " + device + ": " + std::strerror(errno)};
    }

    void check(const std::string& folder) {
        if (folder.empty() || !checked_.insert(folder).second) return;
        // dpkg makes what is missing under the deepest folder that exists.
        std::string existing = folder;
        for (;;) {
            springboard::FileDescriptor fd = resolve(existing);
            if (fd) return checkReal(fd.get(), folder);
            if (errno == EXDEV || errno == ELOOP)
                throw Problem{"\"" + existing + "\" in the device is a link that leads out of it"};
            if (errno != ENOENT) return;  // a file in the way: dpkg says so itself
            std::size_t slash = existing.rfind('/');
            if (slash == std::string::npos) return;
            existing.resize(slash);
        }
    }

private:
    springboard::FileDescriptor resolve(const std::string& path) const {
        open_how how{};
        how.flags = O_PATH | O_CLOEXEC;
        how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
        return springboard::FileDescriptor(
            static_cast<int>(::syscall(SYS_openat2, root_.get(), path.c_str(), &how, sizeof how)));
    }

    void checkReal(int fd, const std::string& folder) const {
        char real[PATH_MAX];
        const std::string link = "/proc/self/fd/" + std::to_string(fd);
        ssize_t n = ::readlink(link.c_str(), real, sizeof real - 1);
        if (n <= 0) return;
        std::string_view inside(real, static_cast<std::size_t>(n));
        if (inside.substr(0, real_.size()) != real_) return;
        inside.remove_prefix(real_.size());
        while (!inside.empty() && inside.front() == '/') inside.remove_prefix(1);
        if (isUserDataOrApps(inside))
            throw Problem{"\"" + folder + "\" in the device leads to " + std::string(firstComponent(inside)) +
                          "/, which no package may touch"};
    }

    springboard::FileDescriptor root_;
    std::string real_;
    std::set<std::string> checked_;
};

// Reads the data member straight out of the outer archive, so that it is
// never held whole.
la_ssize_t readFromOuter(archive*, void* outer, const void** buffer) {
    static thread_local char block[65536];
    *buffer = block;
    return archive_read_data(static_cast<archive*>(outer), block, sizeof block);
}

void checkDataMember(archive* outer, const std::string& device) {
    ArchivePtr a(archive_read_new());
    archive_read_support_filter_all(a.get());
    archive_read_support_format_tar(a.get());
    if (archive_read_open(a.get(), outer, nullptr, readFromOuter, nullptr) != ARCHIVE_OK)
        throw Problem{"damaged (its data member is no archive: " + archiveError(a.get()) + ")"};
    DeviceFolders folders(device);
    std::set<std::string> links;
    std::size_t entries = 0;
    archive_entry* entry = nullptr;
    int status;
    while ((status = archive_read_next_header(a.get(), &entry)) == ARCHIVE_OK) {
        const char* raw = archive_entry_pathname(entry);
        const std::string path = cleanPath(raw ? raw : "");
        if (path.empty()) continue;  // the root, "./"
        if (++entries > kMaxPackageEntries)
            throw Problem{"it has more than " + std::to_string(kMaxPackageEntries) + " entries"};
        const std::string quoted = "\"" + path + "\"";
        if (isUserDataOrApps(path))
            throw Problem{quoted + " lies under " + std::string(firstComponent(path)) + "/, which no package may touch"};
        for (std::size_t slash = path.find('/'); slash != std::string::npos; slash = path.find('/', slash + 1))
            if (links.count(path.substr(0, slash))) throw Problem{quoted + " lies behind a link of the package"};
        if (archive_entry_hardlink(entry)) throw Problem{quoted + " is a hard link"};

        const std::size_t slash = path.rfind('/');
        const std::string parent = slash == std::string::npos ? std::string() : path.substr(0, slash);
        switch (archive_entry_filetype(entry)) {
            case AE_IFDIR: folders.check(path); break;
            case AE_IFREG:
                if (archive_entry_size(entry) < 0 || static_cast<std::size_t>(archive_entry_size(entry)) > kMaxPackageFileBytes)
                    throw Problem{quoted + " is larger than " + std::to_string(kMaxPackageFileBytes >> 20) + " MiB"};
                folders.check(parent);
                break;
            case AE_IFLNK: {
                const char* target = archive_entry_symlink(entry);
                std::string_view text = target ? target : "";
                if (text.empty() || text.front() == '/' || hasDotDotComponent(text))
                    throw Problem{"the link " + quoted + " -> \"" + std::string(text) +
                                  "\" is absolute or has a \"..\" component"};
                links.insert(path);
                folders.check(parent);
                break;
            }
            default: throw Problem{quoted + " is a device file, FIFO or socket"};
        }
    }
    if (status != ARCHIVE_EOF) throw Problem{"damaged (" + archiveError(a.get()) + ")"};
}

}  // namespace

}  // namespace sim

extern "C" __attribute__((visibility("default"))) bool velmoraCheckPackage(const std::string& path,
                                                                          const std::string& device,
                                                                          sim::PackageControl* result,
                                                                          std::string* error) {
    using namespace sim;
    try {
        springboard::FileDescriptor fd = springboard::openRegularFile(path);
        if (!fd) throw Problem{"not a regular file that can be read"};
        ArchivePtr a(archive_read_new());
        archive_read_support_format_ar(a.get());
        if (archive_read_open_fd(a.get(), fd.get(), 65536) != ARCHIVE_OK)
            throw Problem{"not a Debian package (" + archiveError(a.get()) + ")"};
        std::optional<PackageControl> control;
        bool first = true, data = false;
        archive_entry* entry = nullptr;
        int status;
        while ((status = archive_read_next_header(a.get(), &entry)) == ARCHIVE_OK) {
            std::string_view name = archive_entry_pathname(entry) ? archive_entry_pathname(entry) : "";
            if (first) {
                if (name != "debian-binary" || readCurrent(a.get(), 64).rfind("2.", 0) != 0)
                    throw Problem{"not a Debian package (no \"debian-binary\" 2.x member first)"};
                first = false;
            } else if (name.rfind("control.tar", 0) == 0 && !control) {
                control = readControlMember(readCurrent(a.get(), kMaxControlBytes));
            } else if (name.rfind("data.tar", 0) == 0 && control && !data) {
                checkDataMember(a.get(), device);
                data = true;
            }
        }
        if (status != ARCHIVE_EOF)
            throw Problem{first ? "not a Debian package (" + archiveError(a.get()) + ")"
                                : "damaged (" + archiveError(a.get()) + ")"};
        if (first) throw Problem{"not a Debian package (an empty archive)"};
        if (!control || !data) throw Problem{std::string("damaged (no ") + (control ? "data" : "control") + " member)"};
        *result = *control;
        return true;
    } catch (const Problem& problem) {
        if (error) *error = path + ": " + problem.text;
        return false;
    }
}
