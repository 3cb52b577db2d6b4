#pragma once

// The handlers SpringBoard registered through OBJCIPC, by message name. The
// table lives in libobjcipcServer beside the server that reads it; the API
// (libobjcipc) fills it, so both reach the one table in a process.

#include <memory>
#include <string>

#include "InternalExport.h"
#include "OBJCIPC.h"

namespace objcipc {

// Sets the handler for `messageName`, replacing any; an empty handler
// removes it. Thread-safe.
INTERNAL_API void setHandlerForMessageName(const std::string& messageName, OBJCIPC::Handler handler);

// The handler registered for `messageName`, or nullptr. Thread-safe; the
// handler stays valid for the caller even if it is replaced meanwhile.
INTERNAL_API std::shared_ptr<const OBJCIPC::Handler> handlerForMessageName(const std::string& messageName);

}  // namespace objcipc
