#pragma once

// A small simulated device in a fresh temporary directory, for tests that
// need installed apps, Clear's task database or the IPC socket. Removed with
// everything in it when the object goes. Files are written directly (plists
// as XML text, the database with SQLite's C API), never through the code
// under test.

#include <string>
#include <vector>

#include "TempDirectory.h"

class TestDevice {
public:
    TestDevice();

    // The device directory (the device's "/").
    std::string root() const { return directory_.str(); }
    // root()/relative.
    std::string path(const std::string& relative) const;

    // Applications/<name>.app with an Info.plist; returns the bundle path.
    std::string installSystemApp(const std::string& name, const std::string& identifier,
                                 const std::vector<std::string>& urlSchemes = {});

    // var/mobile/Applications/<new UUID>/<name>.app with an Info.plist;
    // returns the bundle path.
    std::string installApp(const std::string& name, const std::string& identifier,
                           const std::vector<std::string>& urlSchemes = {});

    // Clear (identifier com.realmacsoftware.clear unless given, scheme
    // "clearapp") with its task database holding `lists` in that order.
    // Returns the bundle path.
    std::string installClear(const std::vector<std::string>& lists,
                             const std::string& identifier = "com.realmacsoftware.clear");

    // The task database beside the Clear bundle `clearBundlePath`.
    static std::string clearDatabasePath(const std::string& clearBundlePath);
    // Appends a row to Clear's lists table.
    static void addClearList(const std::string& clearBundlePath, const std::string& title);

    // An Info.plist body (XML) for `identifier` and `urlSchemes`.
    static std::string infoPlist(const std::string& identifier, const std::vector<std::string>& urlSchemes);

private:
    std::string installBundle(const std::string& directory, const std::string& identifier,
                              const std::vector<std::string>& urlSchemes);

    TempDirectory directory_;
    int containers_ = 0;
};
