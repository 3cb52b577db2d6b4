#pragma once

// An app's end of OBJCIPC with the reason when no reply comes: what
// OBJCIPC::sendMessageToSpringBoardWithMessageName reduces to a reply or
// nothing, and what the simulator reports to the person who sent a message.

#include <optional>
#include <string>

#include "InternalExport.h"
#include "Value.h"

namespace objcipc {

struct SendResult {
    enum class Status {
        Replied,           // `reply` holds SpringBoard's answer
        NoDevice,          // no device directory is set
        NoServer,          // nothing listens at the device's socket
        PermissionDenied,  // the socket (or its directory) may not be used
        ConnectFailed,     // any other refusal to connect; `detail` says which
        TimedOut,          // no whole reply before the deadline
        NoHandler,         // SpringBoard has no handler for the name
        ErrorReply,        // SpringBoard answered with an error; `detail` is its text
        Dropped,           // SpringBoard closed the connection without an answer
        BadReply,          // the answer was oversized or malformed
    };
    Status status = Status::NoDevice;
    std::optional<Dictionary> reply;
    std::string detail;
};

// Sends `message` named `messageName` to the SpringBoard serving
// `deviceRoot`, waiting at most `timeoutSeconds` for the whole reply.
INTERNAL_API SendResult sendMessage(const std::string& deviceRoot, const std::string& messageName,
                                    const Dictionary& message, double timeoutSeconds);

// One line naming what went wrong (empty for Replied): the error reply's
// own text for ErrorReply and NoHandler, else the cause in words, with the
// device and message it concerns.
INTERNAL_API std::string describeFailure(const SendResult& result, const std::string& deviceRoot,
                                         const std::string& messageName);

}  // namespace objcipc
