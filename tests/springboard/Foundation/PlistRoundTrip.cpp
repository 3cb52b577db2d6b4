// Test helper for plistlib_roundtrip.py: one process for many examples. Each
// line of standard input, "IN<tab>OUT<tab>FORM", reads the property list IN
// (root dictionary) with Foundation and writes it to OUT in FORM (binary or
// xml); each is answered with a line holding the status: 0 written, 2 IN
// unreadable, 3 the write refused.

#include <iostream>
#include <string>

#include "AtomicFile.h"
#include "PlistCodec.h"
#include "PropertyList.h"

namespace {

int roundTrip(const std::string& in, const std::string& out, const std::string& form) {
    const auto dictionary = dictionaryWithContentsOfFile(in);
    if (!dictionary) return 2;
    if (form == "xml") return writeToFile(*dictionary, out, true) ? 0 : 3;
    const std::string bytes = springboard::binaryPropertyList(Value(*dictionary));
    return !bytes.empty() && springboard::writeFileAtomically(out, bytes) ? 0 : 3;
}

}  // namespace

int main() {
    std::string line;
    while (std::getline(std::cin, line)) {
        const auto first = line.find('\t'), second = line.find('\t', first + 1);
        if (second == std::string::npos) return 64;
        std::cout << roundTrip(line.substr(0, first), line.substr(first + 1, second - first - 1),
                               line.substr(second + 1))
                  << std::endl;
    }
    return 0;
}
