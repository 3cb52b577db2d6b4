#pragma once

// A scratch directory for fuzz targets that need their input as a file: made
// once per process under $TMPDIR (point it at /dev/shm for speed), removed at
// exit. Each input overwrites the same files, so nothing accumulates.

#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace fuzz {

class Scratch {
public:
    static Scratch& instance() {
        static Scratch scratch;
        return scratch;
    }
    const std::string& root() const { return root_; }

    ~Scratch() {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }

private:
    Scratch() {
        std::string pattern = (std::filesystem::temp_directory_path() / "velmora-fuzz-XXXXXX").string();
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        if (mkdtemp(name.data()) == nullptr) {
            std::perror("mkdtemp");
            std::abort();
        }
        root_ = name.data();
    }
    std::string root_;
};

// Writes the input as the whole of `path` (parents made); aborts when it
// cannot, since every later input would then test nothing.
inline void writeInput(const std::string& path, const uint8_t* data, size_t size) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr || (size > 0 && std::fwrite(data, 1, size, file) != size) || std::fclose(file) != 0) {
        std::perror(path.c_str());
        std::abort();
    }
}

}  // namespace fuzz
