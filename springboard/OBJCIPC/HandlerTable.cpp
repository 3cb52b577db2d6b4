#include "HandlerTable.h"

#include <map>
#include <mutex>

namespace objcipc {

namespace {

std::mutex handlersMutex;
std::map<std::string, std::shared_ptr<const OBJCIPC::Handler>>& handlers() {
    static std::map<std::string, std::shared_ptr<const OBJCIPC::Handler>> table;
    return table;
}

}  // namespace

void setHandlerForMessageName(const std::string& messageName, OBJCIPC::Handler handler) {
    std::lock_guard lock(handlersMutex);
    if (handler)
        handlers()[messageName] = std::make_shared<const OBJCIPC::Handler>(std::move(handler));
    else
        handlers().erase(messageName);
}

std::shared_ptr<const OBJCIPC::Handler> handlerForMessageName(const std::string& messageName) {
    std::lock_guard lock(handlersMutex);
    const auto it = handlers().find(messageName);
    return it == handlers().end() ? nullptr : it->second;
}

}  // namespace objcipc
