#include "NSPathUtilities.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>

#include "NSString.h"
#include "Platform.h"

namespace {

std::mutex& pathMutex() {
    static std::mutex m;
    return m;
}
std::string& homeOverride() {
    static std::string s;
    return s;
}
std::string& rootDirectory() {
    static std::string s;
    return s;
}

}  // namespace

namespace springboard {

void setDeviceRoot(const std::string& directory) {
    std::lock_guard lock(pathMutex());
    rootDirectory() = directory;
    homeOverride() = directory.empty() ? std::string() : stringByAppendingPathComponent(directory, "var/mobile");
}

std::string deviceRoot() {
    std::lock_guard lock(pathMutex());
    return rootDirectory();
}

void setHomeDirectory(const std::string& directory) {
    std::lock_guard lock(pathMutex());
    homeOverride() = directory;
}

}  // namespace springboard

std::string NSHomeDirectory() {
    {
        std::lock_guard lock(pathMutex());
        if (!homeOverride().empty()) return homeOverride();
    }
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir && *pw->pw_dir) return pw->pw_dir;
    return "/";
}
