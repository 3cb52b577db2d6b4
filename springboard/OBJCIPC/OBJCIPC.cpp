#include "OBJCIPC.h"

#include "Client.h"
#include "HandlerTable.h"
#include "Platform.h"

void OBJCIPC::registerIncomingMessageFromAppHandlerForMessageName(const std::string& messageName, Handler handler) {
    objcipc::setHandlerForMessageName(messageName, std::move(handler));
}

std::optional<Dictionary> OBJCIPC::sendMessageToSpringBoardWithMessageName(const std::string& messageName,
                                                                           const Dictionary& message,
                                                                           double timeoutSeconds) {
    return objcipc::sendMessage(springboard::deviceRoot(), messageName, message, timeoutSeconds).reply;
}
