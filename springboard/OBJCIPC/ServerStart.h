#pragma once

// IPCServer::start with the way its threads are started given: tests make
// thread starts fail on purpose, as a system out of threads would.

#include <memory>
#include <string>

#include "IPCServer.h"
#include "WorkerPool.h"

namespace objcipc {

std::unique_ptr<IPCServer> startServer(const std::string& deviceRoot, IPCServer::Options options,
                                       WorkerPool::Start startThread, std::string* error);

}  // namespace objcipc
