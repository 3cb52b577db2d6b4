#pragma once

// Real files for the reader tests: a scratch directory, raw file contents,
// property lists written without our own writer, and SQLite databases.

#include <sqlite3.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "SQLiteConnection.h"

namespace readertest {

namespace fs = std::filesystem;

// A fresh directory under the system temp dir, removed with everything in it.
class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "vlreader-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const fs::path& path() const { return path_; }
    std::string operator/(const std::string& relative) const { return (path_ / relative).string(); }

private:
    fs::path path_;
};

inline void writeFile(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

inline std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// An XML property list around `body`, the raw XML of the root object.
inline std::string xmlPlist(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
           "<plist version=\"1.0\">\n" +
           body + "\n</plist>\n";
}

// Writes `xml` to `path` in binary property-list form, converted by
// libplist's command-line tool rather than by the code under test.
inline void writeBinaryPlist(const fs::path& path, const std::string& xml) {
    fs::path source = path;
    source += ".source.xml";
    writeFile(source, xml);
    const std::string command = "plistutil -i '" + source.string() + "' -o '" + path.string() + "' -f bin";
    if (std::system(command.c_str()) != 0) throw std::runtime_error("plistutil failed: " + command);
    fs::remove(source);
}

// Runs `sql` against a database created at `path` with the C API.
inline void makeDatabase(const fs::path& path, const std::string& sql) {
    fs::create_directories(path.parent_path());
    const auto db = SQLiteConnection::open(path.c_str(), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    if (!db.ok() || !db.execute(sql.c_str()))
        throw std::runtime_error(std::string("sqlite: ") + db.errorMessage() + " in " + sql);
}

// The names in `directory`, sorted.
inline std::vector<std::string> directoryEntries(const fs::path& directory) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Every path under `root` with its contents ("<dir>" for directories).
inline std::map<std::string, std::string> snapshot(const fs::path& root) {
    std::map<std::string, std::string> tree;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const std::string relative = fs::relative(entry.path(), root).string();
        tree[relative] = entry.is_directory() ? std::string("<dir>") : readFile(entry.path());
    }
    return tree;
}

inline std::size_t openFileDescriptorCount() {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd")) ++count;
    return count;
}

}  // namespace readertest
