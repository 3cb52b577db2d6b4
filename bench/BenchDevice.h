#pragma once

// Scratch device directories for the benchmarks, laid out as on a device:
//   ROOT/var/mobile/Applications/<UUID>/Clear.app
//   ROOT/var/mobile/Applications/<UUID>/Library/Application Support/com.realmacsoftware.clear/BackendTasks.sqlite
//   ROOT/var/mobile/Applications/<UUID>/Library/Preferences/com.realmacsoftware.clear.plist
//   ROOT/var/mobile/Library/Preferences/com.kelbrin.velmora.plist (default list: the first list)
// Files are written with SQLite's and libplist's own calls, never with the
// code being measured. The directory is removed when the object goes.

#include <string>

namespace bench {

enum class PlistFormat { Xml, Binary };

class BenchDevice {
public:
    // A device whose Clear database holds `listCount` lists and whose Clear
    // preferences (with a handful of other entries, as Clear keeps) name
    // "THEME_GRAPHITE_ID" in the given format.
    BenchDevice(int listCount, PlistFormat preferencesFormat);
    ~BenchDevice();
    BenchDevice(const BenchDevice&) = delete;
    BenchDevice& operator=(const BenchDevice&) = delete;

    const std::string& root() const { return root_; }
    const std::string& clearBundle() const { return bundle_; }
    const std::string& databasePath() const { return database_; }
    const std::string& preferencesPath() const { return preferences_; }
    const std::string& settingsPath() const { return settings_; }

private:
    std::string root_, bundle_, database_, preferences_, settings_;
};

// The title of list number `i` as the benchmarks store it: ASCII mostly, every
// seventh one with a non-ASCII letter, as real lists have.
std::string benchListTitle(int i);

}  // namespace bench
