#include "OBJCIPC.h"

#include <map>
#include <mutex>

#include "Client.h"
#include "HandlerTable.h"
#include "Platform.h"

namespace objcipc {

namespace {

std::mutex handlersMutex;
std::map<std::string, std::shared_ptr<const OBJCIPC::Handler>>& handlers() {
    static std::map<std::string, std::shared_ptr<const OBJCIPC::Handler>> table;
    return table;
}

}  // namespace

std::shared_ptr<const OBJCIPC::Handler> handlerForMessageName(const std::string& messageName) {
    std::lock_guard lock(handlersMutex);
    const auto it = handlers().find(messageName);
    return it == handlers().end() ? nullptr : it->second;
}

}  // namespace objcipc

void OBJCIPC::registerIncomingMessageFromAppHandlerForMessageName(const std::string& messageName, Handler handler) {
    std::lock_guard lock(objcipc::handlersMutex);
    if (handler)
        objcipc::handlers()[messageName] = std::make_shared<const Handler>(std::move(handler));
    else
        objcipc::handlers().erase(messageName);
}

std::optional<Dictionary> OBJCIPC::sendMessageToSpringBoardWithMessageName(const std::string& messageName,
                                                                           const Dictionary& message,
                                                                           double timeoutSeconds) {
    return objcipc::sendMessage(springboard::deviceRoot(), messageName, message, timeoutSeconds).reply;
}
