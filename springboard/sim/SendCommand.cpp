#include "SendCommand.h"

#include <filesystem>
#include <iostream>

#include <nlohmann/json.hpp>

#include "ExitStatus.h"
#include "Client.h"
#include "Platform.h"
#include "ScriptParser.h"
#include "TerminalText.h"
#include "Trace.h"

namespace fs = std::filesystem;

namespace sim {

int sendMessage(const std::string& device, const std::string& message, const std::string& json) {
    std::string jsonError;
    auto payload = parseJsonObject(json.empty() ? "{}" : json, jsonError);
    if (!payload) return usageError("the message must be a JSON object: " + jsonError);
    std::error_code ec;
    const auto type = fs::status(device, ec).type();
    if (type == fs::file_type::not_found) return failure("no device at " + device + ": no such directory");
    if (ec) return failure("cannot use the device " + device + ": " + ec.message());
    if (type != fs::file_type::directory) return failure("no device at " + device + ": not a directory");
    // An app: it knows the device it runs on, and nothing of SpringBoard.
    springboard::setLogToStandardError(false);
    const auto result = objcipc::sendMessage(fs::absolute(device).string(), message, *valueFromJson(*payload).asDictionary(), 5.0);
    // The failure may quote SpringBoard's own error text: a peer's bytes, escaped for the terminal.
    if (!result.reply) return failure(printable(objcipc::describeFailure(result, device, message)));
    std::cout << Trace::line(jsonFromValue(Value(*result.reply))) << "\n";
    return 0;
}

}  // namespace sim
