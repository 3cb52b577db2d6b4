// Any bytes as Clear's preferences file: themeFromSettings always gives a
// complete pair of colours.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "FuzzScratch.h"
#include "VLDynamicReader.h"

namespace {

struct Device {
    std::string bundle, preferences;
};

const Device& device() {
    static const Device d = [] {
        const std::string container = fuzz::Scratch::instance().root() + "/var/mobile/Applications/C1";
        Device made{container + "/Clear.app", container + "/Library/Preferences/com.realmacsoftware.clear.plist"};
        std::filesystem::create_directories(made.bundle);
        return made;
    }();
    return d;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::writeInput(device().preferences, data, size);
    const auto reader = VLDynamicReader::initWithPath(device().bundle);
    const ThemeComponents theme = reader->themeFromSettings();
    if (theme.size() != 2 || !theme.count("preferredTintColor") || !theme.count("preferredBarTextColor")) {
        std::fprintf(stderr, "themeFromSettings gave an incomplete palette\n");
        std::abort();
    }
    return 0;
}
