#pragma once

// What the IPC benchmarks share: one device with SpringBoard booted, the
// real companion (VLIPC.so, loaded as the loader loads it) and its IPC
// server, for the whole process; Clear's database on it swapped for one of
// any size; and the floors' server and client (IPCFloor.h) set up alike.

#include <dlfcn.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "BenchDevice.h"
#include "Client.h"
#include "IPCFloor.h"
#include "IPCServer.h"
#include "OBJCIPC.h"
#include "Platform.h"
#include "SocketIO.h"
#include "SpringBoardServices.h"

namespace bench {

// The floor's lists server at `root`'s socket (where our client finds it):
// the floor read of `databasePath` and the floor's one-pass reply.
inline std::unique_ptr<FloorServer> floorListsServer(const std::string& root, int threads,
                                                     const std::string& databasePath) {
    std::filesystem::create_directories(root + "/var/run");
    return std::make_unique<FloorServer>(objcipc::socketPathForDevice(root), threads, "VLIPC.Lists",
                                         [databasePath](FloorReply& frame) {
                                             ListTitles titles;
                                             floorReadTitles(databasePath, titles);
                                             floorEncodeReply(&titles, frame);
                                         });
}

// The request our client sends for "VLIPC.Lists": constant bytes to the floor client.
inline std::string listsRequest() { return objcipc::encodeFrame(objcipc::requestBody("VLIPC.Lists", {}, true)); }

// The floor client asking `socketPath` for the lists: how many titles came.
inline std::size_t floorAskForLists(const std::string& socketPath, const std::string& request) {
    FloorReply reply;
    std::vector<std::string_view> titles;
    std::string side;
    if (!floorExchange(socketPath, request, reply) || !floorScanReply(reply.payload(), titles, side)) return 0;
    benchmark::DoNotOptimize(titles.data());
    return titles.size();
}

// One device, one SpringBoard with VLIPC loaded and its IPC server, for the
// whole process (the loaded library and its registration last as long).
struct IPCDevice {
    static constexpr int kDefaultLists = 1000;
    BenchDevice device{kDefaultLists, PlistFormat::Binary};
    std::unique_ptr<SpringBoardServices> services;
    std::unique_ptr<objcipc::IPCServer> server;
    bool loaded = false;

    IPCDevice() {
        springboard::setLogToStandardError(false);
        services = SpringBoardServices::boot(device.root());
        loaded = dlopen(VELMORA_COMPANION_LIBRARY, RTLD_NOW | RTLD_LOCAL) != nullptr;
        server = objcipc::IPCServer::start(device.root());
        OBJCIPC::registerIncomingMessageFromAppHandlerForMessageName("Bench.Empty",
                                                                     [](const Dictionary&) { return Dictionary{}; });
        std::filesystem::copy_file(device.databasePath(), device.root() + "/lists-1000.sqlite");
    }
    static IPCDevice& instance() {
        static IPCDevice shared;
        return shared;
    }

    // Clear's database on this device now holds `lists` lists (made once per
    // size, then copied into place).
    void installLists(int lists) {
        const std::string saved = device.root() + "/lists-" + std::to_string(lists) + ".sqlite";
        if (!std::filesystem::exists(saved)) {
            BenchDevice other(lists, PlistFormat::Binary);
            std::filesystem::copy_file(other.databasePath(), saved);
        }
        std::filesystem::copy_file(saved, device.databasePath(), std::filesystem::copy_options::overwrite_existing);
    }
};

inline std::optional<Dictionary> askForLists() {
    return OBJCIPC::sendMessageToSpringBoardWithMessageName("VLIPC.Lists", Dictionary{});
}

inline std::size_t listsIn(const std::optional<Dictionary>& reply) {
    if (!reply) return 0;
    auto lists = reply->find("lists");
    return lists != reply->end() && lists->second.asArray() ? lists->second.asArray()->size() : 0;
}

}  // namespace bench
