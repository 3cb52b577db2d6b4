// Test helper for plistlib_roundtrip.py: one process for many examples. Each
// line of standard input, "IN<tab>OUT<tab>FORM", reads the property list IN
// (root dictionary) with Foundation and writes it to OUT in FORM (binary or
// xml); each is answered with a line holding the status: 0 written, 2 IN
// unreadable, 3 the write refused, 4 a binary IN read as received bytes (its
// strings views of them) differs from the plain read, in what it yields or in
// the least budget it needs.

#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include "AtomicFile.h"
#include "BinaryPropertyListReader.h"
#include "PlistCodec.h"
#include "PropertyList.h"
#include "SharedStringArena.h"

namespace {

std::optional<Dictionary> readReceived(const std::string& bytes, std::size_t budget) {
    SharedBytes received(bytes.size());
    std::memcpy(received.data(), bytes.data(), bytes.size());
    return springboard::readBinaryPropertyListDictionary(std::string_view(received.data(), received.size()), budget,
                                                         &received);
}

// The least budget `read` succeeds with (reads charge alike whatever the
// budget, so more never hurts); 0 when even the largest fails.
template <typename Read>
std::size_t leastBudget(std::size_t most, Read read) {
    if (!read(most)) return 0;
    std::size_t low = 0, high = most;  // read(low) unknown or failing, read(high) succeeds
    while (high - low > 1) {
        const std::size_t middle = low + (high - low) / 2;
        (read(middle) ? high : low) = middle;
    }
    return read(low) ? low : high;
}

bool receivedReadAgrees(const std::string& in) {
    std::ifstream file(in, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    if (bytes.rfind("bplist00", 0) != 0) return true;
    const std::size_t budget = springboard::fileDecodeBudget(bytes.size());
    const auto plain = springboard::readBinaryPropertyListDictionary(bytes, budget);
    const auto received = readReceived(bytes, budget);
    // Compared as written again: a NaN equals itself there.
    if (plain.has_value() != received.has_value() ||
        (plain && springboard::binaryPropertyList(Value(*plain)) != springboard::binaryPropertyList(Value(*received))))
        return false;
    return leastBudget(budget, [&](std::size_t b) {
               return springboard::readBinaryPropertyListDictionary(bytes, b).has_value();
           }) == leastBudget(budget, [&](std::size_t b) { return readReceived(bytes, b).has_value(); });
}

int roundTrip(const std::string& in, const std::string& out, const std::string& form) {
    if (!receivedReadAgrees(in)) return 4;
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
