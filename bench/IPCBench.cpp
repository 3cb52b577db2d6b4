// "VLIPC.Lists" over the socket: an app sends the message, SpringBoard's IPC
// server hands it to the companion's handler (the real VLIPC.so, loaded as
// the loader loads it), which reads Clear's lists; the reply comes back.
// Against the floor (IPCFloor.h): a server that reads the titles into one
// buffer, encodes a real binary property-list reply in one pass and sends it
// with one sendmsg, and a client that reads the frame into one buffer and
// scans the titles out of it as views. At 1,000, 10,000 and 100,000 lists;
// then an empty message against the floor's empty reply (its goal is for a
// run pinned to one CPU: `taskset -c 0`), and the message rate with 8 apps
// asking at once. Before timing, each side must decode the other.

#include "Frame.h"
#include "IPCBenchSupport.h"
#include "OneCpu.h"
#include "PairedTiming.h"

namespace {

using bench::askForLists;
using bench::IPCDevice;
using bench::listsIn;

void BM_IPCListsRoundTrip(benchmark::State& state) {
    IPCDevice& ipc = IPCDevice::instance();
    const auto lists = static_cast<std::size_t>(state.range(0));
    ipc.installLists(static_cast<int>(lists));
    const std::string floorRoot = ipc.device.root() + "/floor";
    const std::string request = bench::listsRequest();
    {
        const auto floor = bench::floorListsServer(floorRoot, 1, ipc.device.databasePath());
        const auto ours = askForLists();
        // Each side decodes the other: our client the floor's reply, the
        // floor's client ours.
        const auto crossed = objcipc::sendMessage(floorRoot, "VLIPC.Lists", {}, 30);
        if (!ipc.loaded || !ipc.server || !floor->ok() || listsIn(ours) != lists || listsIn(crossed.reply) != lists ||
            bench::floorAskForLists(ipc.server->socketPath(), request) != lists) {
            state.SkipWithError("VLIPC or the floor did not answer with every list, or they do not interoperate");
        } else {
            const std::string floorSocket = objcipc::socketPathForDevice(floorRoot);
            bench::pairedLoop(
                state, [&] { benchmark::DoNotOptimize(askForLists()); },
                [&] { benchmark::DoNotOptimize(bench::floorAskForLists(floorSocket, request)); });
            state.counters["reply_bytes"] = static_cast<double>(objcipc::encodeFrame(objcipc::replyBody(*ours)).size());
        }
    }
    ipc.installLists(IPCDevice::kDefaultLists);
}

// A second a round, as at 100,000. On a machine of two CPUs, where the
// scheduler puts the app and each server's thread changes either side's
// round trip by up to a third, for spells of a good part of a second:
// rounds of 0.3 s ranged from 0.82 to 1.70 on the same code, and their
// median came out higher too.
BENCHMARK(BM_IPCListsRoundTrip)->Arg(1000)->Arg(10000)->UseManualTime()->Unit(benchmark::kMicrosecond)->MinTime(1.0);
BENCHMARK(BM_IPCListsRoundTrip)->Arg(100000)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(1.0);

// The fixed cost of a message: an empty request answered with an empty
// dictionary, against the floor server answering {"reply": {}}, the whole
// process on one CPU.
void BM_IPCEmptyRoundTrip(benchmark::State& state) {
    IPCDevice& ipc = IPCDevice::instance();
    auto empty = [] { return OBJCIPC::sendMessageToSpringBoardWithMessageName("Bench.Empty", Dictionary{}); };
    const std::string floorRoot = ipc.device.root() + "/floor";
    std::filesystem::create_directories(floorRoot + "/var/run");
    const std::string floorSocket = objcipc::socketPathForDevice(floorRoot);
    bench::FloorServer floor(floorSocket, 1, "Bench.Empty",
                             [](bench::FloorReply& frame) { bench::floorEncodeReply(nullptr, frame); });
    const std::string request = objcipc::encodeFrame(objcipc::requestBody("Bench.Empty", {}, true));
    bench::FloorReply reply;
    const bool floorAnswers = floor.ok() && bench::floorExchange(floorSocket, request, reply) &&
                              objcipc::decodeFramePayload(reply.payload()) == objcipc::replyBody(Dictionary{});
    if (!ipc.server || empty() != Dictionary{} || !floorAnswers ||
        objcipc::sendMessage(floorRoot, "Bench.Empty", {}, 30).reply != Dictionary{}) {
        state.SkipWithError("the empty message went unanswered, or the floor's reply is unreadable");
        return;
    }
    const bench::OneCpu oneCpu;
    if (!oneCpu.pinned()) {
        state.SkipWithError("could not pin the process to one CPU");
        return;
    }
    bench::pairedLoop(
        state, [&] { benchmark::DoNotOptimize(empty()); },
        [&] {
            bench::FloorReply answer;
            benchmark::DoNotOptimize(bench::floorExchange(floorSocket, request, answer));
        });
}

BENCHMARK(BM_IPCEmptyRoundTrip)->UseManualTime()->Unit(benchmark::kMicrosecond)->MinTime(0.3);

// Messages answered per second with 8 apps sending at once.
void BM_IPCListsThroughput(benchmark::State& state) {
    IPCDevice& ipc = IPCDevice::instance();
    std::size_t failed = 0;
    for (auto _ : state) {
        if (listsIn(askForLists()) != IPCDevice::kDefaultLists) ++failed;
    }
    if (!ipc.loaded || failed > 0) state.SkipWithError("some messages went unanswered");
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_IPCListsThroughput)->Threads(8)->UseRealTime()->Unit(benchmark::kMicrosecond)->MinTime(0.5);

[[maybe_unused]] const bool goals = [] {
    bench::registerGoal("BM_IPCListsRoundTrip/1000", 1.10);
    bench::registerGoal("BM_IPCListsRoundTrip/10000", 1.10);
    bench::registerGoal("BM_IPCListsRoundTrip/100000", 1.10);
    bench::registerGoal("BM_IPCEmptyRoundTrip", 1.20);
    return true;
}();

}  // namespace
