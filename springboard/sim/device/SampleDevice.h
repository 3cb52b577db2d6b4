#pragma once

// The sample device `run` uses when given none. Installing a package with
// dpkg costs far more than the script it is made for, so the device is made
// once per build, beside the build's package (sample-device/), and each
// `run` copies it; a rebuilt package makes it again.

#include <string>

namespace sim {

// Makes the sample device at `directory` (which must not exist), a device
// deleted at exit, so nothing written to it later is flushed to disk
// (setDeviceIsTemporary). False with `error` set when it cannot.
bool makeSampleDevice(const std::string& directory, std::string* error);

}  // namespace sim
