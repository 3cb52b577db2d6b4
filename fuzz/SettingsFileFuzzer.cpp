// Any bytes as the widget settings file: the property-list reader, the
// reader's initWithSavedPath, and the round trip savePath relies on (what is
// read back from our own XML must equal what was read in the first place, to
// the precision XML keeps).

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "FileDescriptor.h"
#include "FuzzCompare.h"
#include "FuzzScratch.h"
#include "PlistCodec.h"
#include "Platform.h"
#include "PropertyList.h"
#include "VLDynamicReader.h"

namespace {

const std::string& settingsPath() {
    static const std::string path = [] {
        const std::string home = fuzz::Scratch::instance().root() + "/home";
        springboard::setHomeDirectory(home);
        springboard::setLogToStandardError(false);
        return home + "/Library/Preferences/com.kelbrin.velmora.plist";
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = settingsPath();
    fuzz::writeInput(path, data, size);

    const auto settings = dictionaryWithContentsOfFile(path);
    const auto reader = VLDynamicReader::initWithSavedPath();

    // initWithSavedPath must agree with the file: the string under
    // "savedPath", else nothing.
    std::optional<std::string> expected;
    if (settings) {
        auto entry = settings->find("savedPath");
        if (entry != settings->end() && entry->second.isString()) expected = *entry->second.asString();
    }
    if (reader->clearPath() != expected) {
        std::fprintf(stderr, "initWithSavedPath disagrees with the settings file\n");
        std::abort();
    }

    // One entry read alone (the form's "defaultList") is the whole read's
    // entry: refused with it, nil where it has none, the same value.
    for (const char* key : {"defaultList", "savedPath"}) {
        const auto entry = dictionaryEntryWithContentsOfFile(path, key);
        const auto whole = settings ? settings->find(key) : Dictionary::const_iterator();
        // Nil is equal to nothing, itself included: an absent entry is checked as nil.
        const bool same = settings ? entry && (whole != settings->end() ? fuzz::sameAfterEncoding(*entry, whole->second)
                                                                         : entry->isNil())
                                   : !entry;
        if (!same) {
            std::fprintf(stderr, "the single-entry read of \"%s\" disagrees with the whole read\n", key);
            std::abort();
        }
    }

    // A property list it cannot read whole, savePath leaves as it is.
    if (!settings && dictionaryFileWithContentsOfFile(path).state == DictionaryFile::State::refused) {
        if (VLDynamicReader::initWithPath("/fuzz/Clear.app")->savePath() ||
            springboard::readRegularFile(path, size) != std::string(reinterpret_cast<const char*>(data), size)) {
            std::fprintf(stderr, "a property list savePath could not read was rewritten\n");
            std::abort();
        }
        return 0;
    }

    // savePath rewrites what it read: our own XML must read back the same,
    // or, where XML cannot carry a value, savePath must leave the file as it is.
    if (settings) {
        Dictionary saved = *settings;
        saved["savedPath"] = Value("/fuzz/Clear.app");
        if (springboard::xmlPropertyList(Value(saved)).empty()) {
            if (VLDynamicReader::initWithPath("/fuzz/Clear.app")->savePath() || springboard::readRegularFile(path, size) !=
                std::string(reinterpret_cast<const char*>(data), size)) {
                std::fprintf(stderr, "a settings file XML cannot carry was rewritten\n");
                std::abort();
            }
            return 0;
        }
        const std::string xml = springboard::xmlPropertyList(Value(*settings));
        if (xml.empty()) return 0;  // only the value savePath replaces was beyond XML
        const auto again = springboard::parsePropertyList(xml.data(), xml.size());
        if (!again || !fuzz::sameAfterEncoding(*again, Value(*settings))) {
            std::fprintf(stderr, "settings do not survive an XML round trip\n");
            std::abort();
        }
    }
    return 0;
}
