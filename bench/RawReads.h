#pragma once

// The floors: for each job the subject does, the fastest plain way a
// competent engineer would do the same job with the same libraries, nothing
// cached between calls, everything the subject must do and nothing more.
// A subject at or below its floor means the floor is not one.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "VLDynamicReader.h"

#include "FloorListRead.h"

namespace bench {

// The raw baseline the IPC benchmarks still use: read-only open, one
// statement, each title copied into a string of its own.
std::vector<std::string> rawListTitles(const std::string& databasePath);

// The titles of the lists of the Clear bundle at `clearBundle`: empty when
// it is no directory, or its database no regular file or unreadable.
ListTitles floorListTitles(const std::string& clearBundle);

// The theme components of the Clear bundle at `clearBundle`, from
// "ThemeIdentifier" of its preferences in binary or XML form.
ThemeComponents floorTheme(const std::string& clearBundle);

// One choice of the add-item form: a list's title, with that list's name as
// its value, or "Create List..." with no name.
struct FloorChoice {
    std::string_view title;
    std::optional<std::string_view> value;
};

// What the pop-up needs of the files, as plainly as it can be had.
struct FloorPopUp {
    ThemeComponents theme;
    std::size_t layoutItems = 0;
    ListTitles titles;
    std::vector<FloorChoice> choices;
    std::optional<std::size_t> preselected;
};

FloorPopUp floorPopUp(const std::string& clearBundle, const std::string& layoutPath,
                      const std::string& settingsPath);

}  // namespace bench
