// velmora-bench-server: SpringBoard's IPC server with the companion loaded,
// in a process of its own, for the benchmark that measures its peak memory.
// A fresh process counts only what serving costs, where a forked one would
// count the pages it shares with the benchmark too.
//
//     velmora-bench-server DEVICE SERVER-ROOT READY-FD RELEASE-FD
//
// Boots SpringBoard on DEVICE (where Clear is found), loads VLIPC, serves at
// SERVER-ROOT's socket, writes one byte to READY-FD (1 when serving, 0 when
// not) and serves until RELEASE-FD is readable or closed.

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "AllocatorPolicy.h"
#include "IPCServer.h"
#include "Platform.h"
#include "SpringBoardServices.h"

int main(int argc, char** argv) {
    if (argc != 5) return 2;
    const int ready = std::atoi(argv[3]);
    const int release = std::atoi(argv[4]);
    // velmora-sim's allocator policy, so that what is measured here is
    // what serve costs.
    sim::useAllocatorPolicy();
    springboard::setLogToStandardError(false);
    const auto services = SpringBoardServices::boot(argv[1]);
    const bool loaded = dlopen(VELMORA_COMPANION_LIBRARY, RTLD_NOW | RTLD_LOCAL) != nullptr;
    objcipc::IPCServer::Options serving;
    serving.whenIdle = sim::giveBackFreedMemory;
    auto server = loaded ? objcipc::IPCServer::start(argv[2], serving, nullptr) : nullptr;
    const char byte = server ? 1 : 0;
    if (::write(ready, &byte, 1) != 1 || !server) return 1;
    char wait;
    [[maybe_unused]] const ssize_t n = ::read(release, &wait, 1);
    server->stop();
    return 0;
}
