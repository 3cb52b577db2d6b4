#include "PropertyList.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
    if (!fd || !springboard::writeAll(fd.get(), bytes)) return false;
    return ::close(fd.release()) == 0;
}

}  // namespace

std::optional<Dictionary> dictionaryWithContentsOfFile(const std::string& path) {
    auto bytes = springboard::readRegularFile(path, kMaxPropertyListFile);
    if (!bytes) return std::nullopt;
    return springboard::parsePropertyListDictionary(bytes->data(), bytes->size());
}

DictionaryFile dictionaryFileWithContentsOfFile(const std::string& path) {
    DictionaryFile file;
    auto bytes = springboard::readRegularFile(path, kMaxPropertyListFile);
    if (!bytes) {
        // A regular file we could not read whole (too large, no permission,
        // an I/O error) may be anything, a list of ours included.
        struct stat status {};
        if (::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode)) file.state = DictionaryFile::State::refused;
        return file;
    }
    if (auto dictionary = springboard::parsePropertyListDictionary(bytes->data(), bytes->size())) {
        file.state = DictionaryFile::State::read;
        file.dictionary = std::move(*dictionary);
    } else if (springboard::mayHoldDictionary(bytes->data(), bytes->size())) {
        file.state = DictionaryFile::State::refused;
    }
    return file;
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
