#include "OBJCIPC.h"

#include <unistd.h>

#include <map>
#include <mutex>

#include "Frame.h"
#include "HandlerTable.h"
#include "Platform.h"
#include "SocketIO.h"

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
    const std::string root = springboard::deviceRoot();
    if (root.empty() || !(timeoutSeconds > 0)) return std::nullopt;
    // Cap the wait at a day so the deadline arithmetic cannot overflow.
    const auto timeout = std::chrono::duration<double>(std::min(timeoutSeconds, 86400.0));
    const auto deadline = objcipc::Clock::now() + std::chrono::duration_cast<objcipc::Clock::duration>(timeout);

    const int fd = objcipc::connectUnixSocket(objcipc::socketPathForDevice(root), deadline);
    if (fd < 0) return std::nullopt;
    std::optional<Dictionary> reply;
    if (objcipc::writeAll(fd, objcipc::encodeFrame(objcipc::requestBody(messageName, message)), deadline, -1)) {
        if (const auto body = objcipc::readFrame(fd, deadline, -1)) reply = objcipc::replyFromBody(*body);
    }
    ::close(fd);
    return reply;
}
