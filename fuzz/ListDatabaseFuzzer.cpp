// Any bytes as Clear's task database: parsedSQLiteListNamesForPath returns
// valid UTF-8 titles or nothing, never crashes, and never changes the file
// (it opens it read-only and runs only the query).

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "FuzzScratch.h"
#include "VLDynamicReader.h"

namespace {

const std::string& databasePath() {
    static const std::string path = fuzz::Scratch::instance().root() + "/BackendTasks.sqlite";
    return path;
}

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = databasePath();
    // A journal left beside a previous input would be replayed into this one.
    std::remove((path + "-journal").c_str());
    std::remove((path + "-wal").c_str());
    std::remove((path + "-shm").c_str());
    fuzz::writeInput(path, data, size);

    const auto reader = VLDynamicReader::initWithPath(std::nullopt);
    const auto names = reader->parsedSQLiteListNamesForPath(path);
    for (const Value& title : names) {
        const auto name = title.asString();
        if (!name) {
            std::fprintf(stderr, "a title that is no string\n");
            std::abort();
        }
        if (std::memchr(name->data(), '\0', name->size()) != nullptr) {
            std::fprintf(stderr, "a title with an embedded NUL\n");
            std::abort();
        }
    }
    const std::string after = contents(path);
    if (after.size() != size || (size > 0 && std::memcmp(after.data(), data, size) != 0)) {
        std::fprintf(stderr, "the database file was changed by a read\n");
        std::abort();
    }
    return 0;
}
