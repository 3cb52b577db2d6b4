#include "NSBundle.h"

#include <sys/stat.h>

#include "NSString.h"

std::shared_ptr<NSBundle> NSBundle::bundleWithPath(const std::optional<std::string>& path) {
    if (!path || path->empty()) return nullptr;
    struct stat st {};
    if (::stat(path->c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return nullptr;
    std::string directory = *path;
    while (directory.size() > 1 && directory.back() == '/') directory.pop_back();
    return std::make_shared<NSBundle>(std::move(directory));
}

std::optional<std::string> NSBundle::pathForResource(const std::string& name, const std::string& type) const {
    std::string file = type.empty() ? name : name + "." + type;
    std::string candidate = stringByAppendingPathComponent(bundlePath_, file);
    struct stat st {};
    if (::stat(candidate.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return candidate;
}
