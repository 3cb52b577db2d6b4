#include "SendCommand.h"

#include <filesystem>
#include <iostream>

#include <nlohmann/json.hpp>

#include "ExitStatus.h"
#include "OBJCIPC.h"
#include "Platform.h"
#include "ScriptParser.h"
#include "Trace.h"

namespace fs = std::filesystem;

namespace sim {

int sendMessage(const std::string& device, const std::string& message, const std::string& json) {
    std::string jsonError;
    auto payload = parseJsonObject(json.empty() ? "{}" : json, jsonError);
    if (!payload) return usageError("the message must be a JSON object: " + jsonError);
    std::error_code ec;
    if (!fs::is_directory(device, ec)) return usageError("no device at " + device);
    // An app: it knows the device it runs on, and nothing of SpringBoard.
    springboard::setLogToStandardError(false);
    springboard::setDeviceRoot(fs::absolute(device).string());
    Value request = valueFromJson(*payload);
    auto reply = OBJCIPC::sendMessageToSpringBoardWithMessageName(message, *request.asDictionary(), 5.0);
    if (!reply) return failure("no reply to " + message + " from SpringBoard on " + device + " (is velmora-sim run or serve running there?)");
    std::cout << Trace::line(jsonFromValue(Value(*reply))) << "\n";
    return 0;
}

}  // namespace sim
