#pragma once

#include <memory>
#include <string>

#include "OBJCIPC.h"

namespace objcipc {

// The handler registered for `messageName`, or nullptr. Thread-safe; the
// handler stays valid for the caller even if it is replaced meanwhile.
std::shared_ptr<const OBJCIPC::Handler> handlerForMessageName(const std::string& messageName);

}  // namespace objcipc
