#pragma once

#include <string>

namespace sim {

// `send DIR MESSAGE [JSON]`: acts as an app on the device at DIR, sends
// MESSAGE with the JSON object as its request dictionary (empty: {}) to the
// SpringBoard serving it, and prints the reply as one line of JSON.
int sendMessage(const std::string& device, const std::string& message, const std::string& json);

}  // namespace sim
