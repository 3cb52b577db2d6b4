#include "ExitStatus.h"

#include <iostream>

namespace sim {
namespace {

int report(const std::string& message, int status) {
    std::string line = message;
    // A message quotes what the user gave, which may hold line breaks; the
    // one-line promise holds anyway.
    for (char& c : line)
        if (c == '\n' || c == '\r') c = ' ';
    std::cerr << "velmora-sim: " << line << "\n";
    return status;
}

}  // namespace

int usageError(const std::string& message) { return report(message, kUsageError); }
int failure(const std::string& message) { return report(message, kFailure); }

}  // namespace sim
