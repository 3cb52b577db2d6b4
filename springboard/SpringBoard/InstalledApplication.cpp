#include "InstalledApplication.h"

#include <algorithm>

namespace {

bool equalsIgnoringASCIICase(const std::string& a, const std::string& b) {
    auto lower = [](unsigned char c) { return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) {
               return lower(static_cast<unsigned char>(x)) == lower(static_cast<unsigned char>(y));
           });
}

}  // namespace

InstalledApplication::InstalledApplication(std::string bundlePath, std::string identifier,
                                           std::vector<std::string> urlSchemes)
    : bundlePath_(std::move(bundlePath)), identifier_(std::move(identifier)), urlSchemes_(std::move(urlSchemes)) {}

bool InstalledApplication::opensURLScheme(const std::string& scheme) const {
    if (scheme.empty()) return false;
    return std::any_of(urlSchemes_.begin(), urlSchemes_.end(),
                       [&](const std::string& declared) { return equalsIgnoringASCIICase(declared, scheme); });
}
