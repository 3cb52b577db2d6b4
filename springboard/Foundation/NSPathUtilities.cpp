#include "NSPathUtilities.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#include "FoundationState.h"
#include "NSString.h"

std::string NSHomeDirectory() {
    const auto set = springboard::homeSetting();
    if (set.underDeviceRoot) return stringByAppendingPathComponent(set.directory, "var/mobile");
    if (!set.directory.empty()) return set.directory;
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir && *pw->pw_dir) return pw->pw_dir;
    return "/";
}
