#include "DebianPackage.h"

#include <archive.h>
#include <archive_entry.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>
#include <string_view>
#include <vector>

namespace sim {
namespace {

// Far above anything Velmora ships; a bound so a hostile member cannot make
// us hold gigabytes.
constexpr std::size_t kMaxMemberBytes = 256u << 20;

struct ArchiveDeleter {
    void operator()(archive* a) const { archive_read_free(a); }
};
using ArchivePtr = std::unique_ptr<archive, ArchiveDeleter>;

std::string archiveError(archive* a) {
    const char* text = archive_error_string(a);
    return text ? text : "unknown error";
}

// The current member's bytes; false when the archive is damaged or the
// member is larger than `limit`.
bool readMember(archive* a, std::string& bytes, std::size_t limit, std::string* why) {
    char buffer[65536];
    for (;;) {
        la_ssize_t n = archive_read_data(a, buffer, sizeof buffer);
        if (n == 0) return true;
        if (n < 0) {
            *why = archiveError(a);
            return false;
        }
        if (bytes.size() + static_cast<std::size_t>(n) > limit) {
            *why = "a member is larger than " + std::to_string(limit >> 20) + " MiB";
            return false;
        }
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
}

ArchivePtr tarReader(const std::string& bytes) {
    ArchivePtr a(archive_read_new());
    archive_read_support_filter_all(a.get());
    archive_read_support_format_tar(a.get());
    if (archive_read_open_memory(a.get(), bytes.data(), bytes.size()) != ARCHIVE_OK) return nullptr;
    return a;
}

// "Field: value" lines of a control file; continuation lines are skipped.
PackageControl parseControl(std::string_view text) {
    PackageControl control;
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        std::size_t colon = line.find(':');
        if (line.empty() || line[0] == ' ' || line[0] == '\t' || colon == std::string_view::npos) continue;
        std::string_view value = line.substr(colon + 1);
        while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
        while (!value.empty() && (value.back() == ' ' || value.back() == '\t' || value.back() == '\r')) value.remove_suffix(1);
        std::string_view field = line.substr(0, colon);
        if (field == "Package") control.package = value;
        else if (field == "Version") control.version = value;
        else if (field == "Architecture") control.architecture = value;
    }
    return control;
}

// The control member's "control" file; absent when the tar has none.
std::optional<std::string> controlFile(const std::string& member, std::string* why) {
    ArchivePtr a = tarReader(member);
    if (!a) {
        *why = "its control member is no archive";
        return std::nullopt;
    }
    archive_entry* entry = nullptr;
    int status;
    while ((status = archive_read_next_header(a.get(), &entry)) == ARCHIVE_OK || status == ARCHIVE_WARN) {
        std::string_view name = archive_entry_pathname(entry) ? archive_entry_pathname(entry) : "";
        if (name == "./control" || name == "control") {
            std::string bytes;
            if (!readMember(a.get(), bytes, 1u << 20, why)) return std::nullopt;
            return bytes;
        }
    }
    *why = status == ARCHIVE_EOF ? "its control member has no control file" : archiveError(a.get());
    return std::nullopt;
}

// `raw` as clean components joined by "/"; "" for the root itself.
std::optional<std::string> cleanPath(std::string_view raw, std::string* why) {
    if (!raw.empty() && raw.front() == '/') {
        *why = "absolute path";
        return std::nullopt;
    }
    std::string clean;
    while (!raw.empty()) {
        std::size_t slash = raw.find('/');
        std::string_view part = raw.substr(0, slash);
        raw = slash == std::string_view::npos ? std::string_view() : raw.substr(slash + 1);
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            *why = "\"..\" in the path";
            return std::nullopt;
        }
        if (!clean.empty()) clean += '/';
        clean += part;
    }
    return clean;
}

// Whether the link at `path` pointing at `target` stays inside the root.
bool linkStaysInside(const std::string& path, std::string_view target) {
    if (target.empty() || target.front() == '/') return false;
    std::vector<std::string_view> stack;
    std::string_view directory = path;
    std::size_t slash = directory.rfind('/');
    directory = slash == std::string_view::npos ? std::string_view() : directory.substr(0, slash);
    while (!directory.empty()) {
        std::size_t next = directory.find('/');
        stack.push_back(directory.substr(0, next));
        directory = next == std::string_view::npos ? std::string_view() : directory.substr(next + 1);
    }
    while (!target.empty()) {
        std::size_t next = target.find('/');
        std::string_view part = target.substr(0, next);
        target = next == std::string_view::npos ? std::string_view() : target.substr(next + 1);
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (stack.empty()) return false;
            stack.pop_back();
        } else {
            stack.push_back(part);
        }
    }
    return true;
}

std::uint64_t fnv1a(std::uint64_t hash, std::string_view bytes) {
    for (unsigned char c : bytes) {
        hash ^= c;
        hash *= 0x100000001b3ULL;
    }
    // A separator, so ("ab","c") and ("a","bc") differ.
    hash ^= 0xff;
    return hash * 0x100000001b3ULL;
}

}  // namespace

std::unique_ptr<DebianPackage> DebianPackage::open(const std::string& path, std::string* error) {
    auto fail = [&](const std::string& why) -> std::unique_ptr<DebianPackage> {
        if (error) *error = path + ": " + why;
        return nullptr;
    };
    // Only a regular file: a FIFO or device node in its place would block.
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return fail(std::string("cannot read it: ") + std::strerror(errno));
    if (!S_ISREG(info.st_mode)) return fail("not a Debian package (not a regular file)");
    ArchivePtr a(archive_read_new());
    archive_read_support_format_ar(a.get());
    if (archive_read_open_filename(a.get(), path.c_str(), 65536) != ARCHIVE_OK)
        return fail("not a Debian package (" + archiveError(a.get()) + ")");

    std::string controlMember, dataMember, why;
    bool first = true, haveControl = false, haveData = false;
    archive_entry* entry = nullptr;
    int status;
    while ((status = archive_read_next_header(a.get(), &entry)) == ARCHIVE_OK || status == ARCHIVE_WARN) {
        std::string_view name = archive_entry_pathname(entry) ? archive_entry_pathname(entry) : "";
        std::string bytes;
        if (!readMember(a.get(), bytes, kMaxMemberBytes, &why)) return fail("truncated or damaged (" + why + ")");
        if (first) {
            if (name != "debian-binary" || bytes.rfind("2.", 0) != 0)
                return fail("not a Debian package (no \"debian-binary\" 2.x member first)");
            first = false;
        } else if (name.rfind("control.tar", 0) == 0 && !haveControl) {
            controlMember = std::move(bytes);
            haveControl = true;
        } else if (name.rfind("data.tar", 0) == 0 && !haveData) {
            dataMember = std::move(bytes);
            haveData = true;
        }
    }
    if (status != ARCHIVE_EOF) {
        if (first) return fail("not a Debian package (" + archiveError(a.get()) + ")");
        return fail("truncated or damaged (" + archiveError(a.get()) + ")");
    }
    if (first) return fail("not a Debian package (an empty archive)");
    if (!haveControl || !haveData)
        return fail(std::string("truncated or damaged (no ") + (haveControl ? "data" : "control") + " member)");

    auto controlText = controlFile(controlMember, &why);
    if (!controlText) return fail("truncated or damaged (" + why + ")");
    PackageControl control = parseControl(*controlText);
    if (control.package.empty() || control.version.empty())
        return fail("its control file names no Package or no Version");
    return std::unique_ptr<DebianPackage>(new DebianPackage(path, std::move(control), std::move(dataMember)));
}

bool DebianPackage::forEachEntry(const Visitor& visit, std::string* error) const {
    auto fail = [&](const std::string& why) {
        if (error) *error = path_ + ": " + why;
        return false;
    };
    ArchivePtr a = tarReader(data_);
    if (!a) return fail("truncated or damaged (its data member is no archive)");

    std::set<std::string> links;
    std::size_t unpacked = 0;
    std::string why;
    archive_entry* entry = nullptr;
    int status;
    while ((status = archive_read_next_header(a.get(), &entry)) == ARCHIVE_OK || status == ARCHIVE_WARN) {
        const char* rawName = archive_entry_pathname(entry);
        std::string shown = rawName ? rawName : "";
        auto path = cleanPath(shown, &why);
        if (!path) return fail("refused: \"" + shown + "\" would land outside the device (" + why + ")");
        if (path->empty()) continue;  // the root, "./"
        for (std::size_t slash = path->find('/'); slash != std::string::npos; slash = path->find('/', slash + 1))
            if (links.count(path->substr(0, slash)))
                return fail("refused: \"" + shown + "\" lies behind a symbolic link");

        PackageEntry item;
        item.path = *path;
        item.mode = archive_entry_perm(entry) & 0777;
        std::string content;
        if (archive_entry_hardlink(entry)) return fail("refused: \"" + shown + "\" is a hard link");
        switch (archive_entry_filetype(entry)) {
            case AE_IFDIR: item.kind = PackageEntry::Kind::Directory; break;
            case AE_IFREG:
                item.kind = PackageEntry::Kind::File;
                if (!readMember(a.get(), content, kMaxMemberBytes - unpacked, &why))
                    return fail("truncated or damaged (" + why + ")");
                unpacked += content.size();
                break;
            case AE_IFLNK: {
                item.kind = PackageEntry::Kind::Symlink;
                item.linkTarget = archive_entry_symlink(entry) ? archive_entry_symlink(entry) : "";
                if (!linkStaysInside(item.path, item.linkTarget))
                    return fail("refused: the link \"" + shown + "\" -> \"" + item.linkTarget + "\" leads outside the device");
                links.insert(item.path);
                break;
            }
            default: return fail("refused: \"" + shown + "\" is neither a file, a directory nor a symbolic link");
        }
        if (!visit(item, content, &why)) return fail(why);
    }
    if (status != ARCHIVE_EOF) return fail("truncated or damaged (" + archiveError(a.get()) + ")");
    return true;
}

std::string DebianPackage::contentDigest(std::string* error) const {
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    bool ok = forEachEntry(
        [&](const PackageEntry& entry, const std::string& content, std::string*) {
            hash = fnv1a(hash, entry.path);
            hash = fnv1a(hash, std::to_string(static_cast<int>(entry.kind)) + " " + std::to_string(entry.mode));
            hash = fnv1a(hash, entry.kind == PackageEntry::Kind::Symlink ? std::string_view(entry.linkTarget)
                                                                          : std::string_view(content));
            return true;
        },
        error);
    if (!ok) return {};
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

}  // namespace sim
