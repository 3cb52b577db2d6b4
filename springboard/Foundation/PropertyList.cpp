#include "PropertyList.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "AtomicFile.h"
#include "FileDescriptor.h"
#include "PlistCodec.h"

namespace {

// Larger files are no settings or preferences file of ours; refusing them
// keeps a stray huge file from being read whole into memory.
constexpr std::size_t kMaxPropertyListFile = 64 * 1024 * 1024;

bool writeInPlace(const std::string& bytes, const std::string& path) {
    springboard::FileDescriptor fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!fd) return false;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd.get(), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return ::close(fd.release()) == 0;
}

}  // namespace

std::optional<Dictionary> dictionaryWithContentsOfFile(const std::string& path) {
    auto bytes = springboard::readRegularFile(path, kMaxPropertyListFile);
    if (!bytes) return std::nullopt;
    return springboard::parsePropertyListDictionary(bytes->data(), bytes->size());
}

std::optional<Value> dictionaryEntryWithContentsOfFile(const std::string& path, std::string_view key) {
    auto bytes = springboard::readRegularFile(path, kMaxPropertyListFile);
    if (!bytes) return std::nullopt;
    return springboard::parsePropertyListDictionaryEntry(bytes->data(), bytes->size(), key);
}

bool writeToFile(const Dictionary& dictionary, const std::string& path, bool atomically) {
    if (path.empty()) return false;
    // "" also when some value cannot be written back exactly: then nothing
    // is written at all.
    std::string bytes = springboard::xmlPropertyList(Value(dictionary));
    if (bytes.empty()) return false;
    return atomically ? springboard::writeFileAtomically(path, bytes, 0644) : writeInPlace(bytes, path);
}
