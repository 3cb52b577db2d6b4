// Test helper for plistlib_roundtrip.py: reads the property list IN (root
// dictionary) with Foundation and writes it to OUT in the given form.
// Exit status: 0 written, 2 IN unreadable, 3 the write refused, 64 usage.

#include <cstdio>
#include <string>

#include "AtomicFile.h"
#include "PlistCodec.h"
#include "PropertyList.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: plist_roundtrip IN OUT binary|xml\n");
        return 64;
    }
    const std::string form = argv[3];
    const auto dictionary = dictionaryWithContentsOfFile(argv[1]);
    if (!dictionary) return 2;
    if (form == "xml") return writeToFile(*dictionary, argv[2], true) ? 0 : 3;
    const std::string bytes = springboard::binaryPropertyList(Value(*dictionary));
    return !bytes.empty() && springboard::writeFileAtomically(argv[2], bytes) ? 0 : 3;
}
