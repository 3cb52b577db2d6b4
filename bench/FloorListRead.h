#pragma once

// The lists floor's database read, shared by the widget's floors and the
// IPC server's floor: both must hand over every title Clear could be asked
// for, and nothing less would.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace bench {

// Titles side by side in one buffer; title i ends at ends[i].
struct ListTitles {
    std::string bytes;
    std::vector<std::uint32_t> ends;
    std::size_t size() const { return ends.size(); }
    std::string_view operator[](std::size_t i) const {
        const std::uint32_t begin = i == 0 ? 0 : ends[i - 1];
        return std::string_view(bytes).substr(begin, ends[i] - begin);
    }
};

// Appends the titles of the database at `databasePath` to `titles`: false
// when it is no regular file or cannot be opened.
bool floorReadTitles(const std::string& databasePath, ListTitles& titles);

}  // namespace bench
