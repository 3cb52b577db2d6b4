#include "DpkgDatabase.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <vector>

#include "Dpkg.h"
#include "FileDescriptor.h"

namespace fs = std::filesystem;

namespace sim {
namespace {

// The status database of a device this tool makes stays far below this,
// as the package check bounds the entries a package may have.
constexpr std::size_t kMaxStatusBytes = 64u << 20;

struct PlatformPackage {
    const char* name;
    const char* description;
    std::vector<const char*> folders;
};

// The names Velmora's control file depends on; each owns the folders it
// brings, as on a phone. In dpkg's own order (by name), so that its first
// rewrite of the status file changes no byte.
const PlatformPackage kPlatformPackages[] = {
    {"libobjcipc", "the IPC library between apps and SpringBoard", {}},
    {"mobilesubstrate", "the loader of dynamic libraries into apps",
     {"/Library", "/Library/MobileSubstrate", "/Library/MobileSubstrate/DynamicLibraries"}},
    {"prowidgets", "the widget host", {"/Library", "/Library/ProWidgets", "/Library/ProWidgets/Widgets"}},
};

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
    return text;
}

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (;;) {
        std::size_t at = text.find(separator);
        parts.push_back(trimmed(text.substr(0, at)));
        if (at == std::string_view::npos) return parts;
        text.remove_prefix(at + 1);
    }
}

// "name:arch (>= 1.0)" met by `installed`?
bool met(std::string_view alternative, const std::map<std::string, InstalledPackage>& installed) {
    std::size_t paren = alternative.find('(');
    std::string_view name = trimmed(alternative.substr(0, paren));
    name = name.substr(0, name.find(':'));
    auto it = installed.find(std::string(name));
    if (it == installed.end()) return false;
    if (paren == std::string_view::npos) return true;
    std::string_view constraint = alternative.substr(paren + 1);
    constraint = trimmed(constraint.substr(0, constraint.find(')')));
    std::size_t operatorEnd = constraint.find_first_not_of("<>=");
    std::string_view relation = constraint.substr(0, operatorEnd);
    std::string version(trimmed(constraint.substr(std::min(operatorEnd, constraint.size()))));
    const std::pair<std::string_view, const char*> relations[] = {
        {"<<", "lt"}, {"<=", "le"}, {"<", "le"}, {"=", "eq"}, {">=", "ge"}, {">", "ge"}, {">>", "gt"}};
    for (const auto& [written, word] : relations)
        if (relation == written) return compareVersions(it->second.version, word, version);
    return false;
}

}  // namespace

std::map<std::string, InstalledPackage> readInstalledPackages(const std::string& device) {
    std::map<std::string, InstalledPackage> installed;
    auto text = springboard::readRegularFile(device + "/" + kDpkgDirectory + "/status", kMaxStatusBytes);
    if (!text) return installed;
    InstalledPackage current;
    bool isInstalled = false;
    auto finish = [&] {
        if (isInstalled && !current.package.empty()) installed[current.package] = current;
        current = {};
        isInstalled = false;
    };
    std::string_view rest(*text);
    while (!rest.empty()) {
        std::size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        if (trimmed(line).empty()) {
            finish();
            continue;
        }
        std::size_t colon = line.find(':');
        if (line[0] == ' ' || line[0] == '\t' || colon == std::string_view::npos) continue;
        std::string_view field = line.substr(0, colon), value = trimmed(line.substr(colon + 1));
        if (field == "Package") current.package = value;
        else if (field == "Version") current.version = value;
        else if (field == "Architecture") current.architecture = value;
        else if (field == "Status") isInstalled = value == "install ok installed";
    }
    finish();
    return installed;
}

bool hasDpkgDatabase(const std::string& device) {
    std::error_code ec;
    return fs::is_regular_file(fs::path(device) / kDpkgDirectory / "status", ec);
}

bool createPlatformDatabase(const std::string& device, std::string* error) {
    const fs::path root(device), database = root / kDpkgDirectory;
    std::error_code ec;
    for (const fs::path& folder : {database / "info", database / "updates", root / "var/log"}) fs::create_directories(folder, ec);
    std::string status;
    for (const auto& platform : kPlatformPackages) {
        for (const char* folder : platform.folders) fs::create_directories(root / (folder + 1), ec);
        // Essential, as the platform is: dpkg does not remove it on request.
        status += std::string("Package: ") + platform.name +
                  "\nEssential: yes\nStatus: install ok installed\nPriority: required\nSection: System\n"
                  "Maintainer: velmora-sim\nArchitecture: all\nVersion: 1.0\nDescription: " +
                  platform.description + " (the simulated device's own)\n\n";
        std::ofstream list(database / "info" / (std::string(platform.name) + ".list"), std::ios::trunc);
        list << "/.\n";
        for (const char* folder : platform.folders) list << folder << "\n";
        if (!list.flush()) ec = std::make_error_code(std::errc::io_error);
    }
    std::ofstream out(database / "status", std::ios::trunc | std::ios::binary);
    out << status;
    if (!out.flush() || ec) {
        if (error) *error = "cannot make the dpkg database in " + device + ": " + (ec ? ec.message() : "write failed");
        return false;
    }
    return true;
}

std::optional<std::string> unmetDependency(const std::string& depends,
                                           const std::map<std::string, InstalledPackage>& installed) {
    if (trimmed(depends).empty()) return std::nullopt;
    for (std::string_view group : split(depends, ',')) {
        auto alternatives = split(group, '|');
        if (std::none_of(alternatives.begin(), alternatives.end(),
                         [&](std::string_view alternative) { return met(alternative, installed); }))
            return std::string(group);
    }
    return std::nullopt;
}

std::optional<std::string> installedMd5sums(const std::string& device, const std::string& package) {
    auto text = springboard::readRegularFile(device + "/" + kDpkgDirectory + "/info/" + package + ".md5sums", kMaxStatusBytes);
    if (!text) return std::nullopt;
    return sortedLines(*text);
}

std::string sortedLines(const std::string& text) {
    std::vector<std::string_view> lines;
    for (std::string_view line : split(text, '\n'))
        if (!line.empty()) lines.push_back(line);
    std::sort(lines.begin(), lines.end());
    std::string sorted;
    for (auto line : lines) sorted.append(line).append("\n");
    return sorted;
}

}  // namespace sim
