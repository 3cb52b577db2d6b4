#pragma once

#include <functional>
#include <optional>
#include <string>

#include "HostExport.h"
#include "Value.h"

// libobjcipc: messages between apps and SpringBoard. A message has a name and
// a dictionary; its handler's dictionary travels back to the sender as the
// reply.
class HOST_API OBJCIPC {
public:
    using Handler = std::function<Dictionary(const Dictionary& message)>;

    // In SpringBoard: `handler` answers every message named `messageName` that
    // an app sends. Handlers run on the IPC library's own thread(s), possibly
    // several at once. A later registration for the same name replaces the
    // earlier one.
    static void registerIncomingMessageFromAppHandlerForMessageName(const std::string& messageName, Handler handler);

    // In an app: sends `message` to SpringBoard and waits for the reply.
    // Absent when SpringBoard cannot be reached, has no handler for the name,
    // or does not answer within `timeoutSeconds`.
    static std::optional<Dictionary> sendMessageToSpringBoardWithMessageName(const std::string& messageName,
                                                                             const Dictionary& message,
                                                                             double timeoutSeconds = 5.0);
};
