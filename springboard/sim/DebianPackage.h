#pragma once

// A Debian-format package (.deb) as dpkg sees one: an ar archive holding
// "debian-binary", a control member and a data member (each a tar, maybe
// compressed). Opening one reads the control fields; walking it hands out
// the data member's entries with their paths already made safe to place
// under a device root.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace sim {

struct PackageControl {
    std::string package;       // "Package"
    std::string version;       // "Version"
    std::string architecture;  // "Architecture"
};

struct PackageEntry {
    enum class Kind { Directory, File, Symlink };
    Kind kind = Kind::File;
    std::string path;        // relative, clean: no "", ".", ".." components, no leading "/"
    unsigned mode = 0644;    // permission bits only (no set-id bits)
    std::string linkTarget;  // Symlink: as stored; never leads above the root
};

class DebianPackage {
public:
    // The package at `path`, its outer archive and control fields checked.
    // nullptr with `error` set (one line naming the file) when it is no
    // readable .deb: not an ar archive, no "debian-binary" first, no control
    // or data member, truncated, or missing Package/Version.
    static std::unique_ptr<DebianPackage> open(const std::string& path, std::string* error);

    const PackageControl& control() const { return control_; }

    // Calls `visit` for every entry of the data member in archive order, with
    // a file's bytes in `content`. Stops at the first entry that could land
    // outside the root (an absolute path, "..", a link that leads out, a path
    // through a link), of another kind (hard link, device, FIFO), at damage,
    // or when `visit` returns false; then false with `error` set.
    using Visitor = std::function<bool(const PackageEntry& entry, const std::string& content, std::string* error)>;
    bool forEachEntry(const Visitor& visit, std::string* error) const;

    // A digest of the data member's entries (paths, kinds, modes, contents,
    // link targets), so two builds with equal files compare equal whatever
    // their time stamps. Empty with `error` set when the walk fails.
    std::string contentDigest(std::string* error) const;

private:
    DebianPackage(std::string path, PackageControl control, std::string data)
        : path_(std::move(path)), control_(std::move(control)), data_(std::move(data)) {}

    std::string path_;
    PackageControl control_;
    std::string data_;  // the data member, still compressed
};

}  // namespace sim
